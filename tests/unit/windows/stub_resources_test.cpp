// The built stub's resources as the system reads them: message strings, the application manifest
// and the icons.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr WORD kEnglishUs = 1033;

std::string windows_path(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path[0] == '\\' ? "Z:" + path : path;
}

class StubResources : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    stub_ = LoadLibraryExA(windows_path(MSIBOOT_STUB_PATH).c_str(), nullptr,
                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    if (stub_ != nullptr) FreeLibrary(stub_);
  }
  void SetUp() override { ASSERT_NE(stub_, nullptr) << "cannot load " << MSIBOOT_STUB_PATH; }

  // The bytes of one resource in US English, empty when there is none.
  static std::string resource(LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceExA(stub_, type, name, kEnglishUs);
    if (found == nullptr) return {};
    const char* data = static_cast<const char*>(LockResource(LoadResource(stub_, found)));
    return data == nullptr ? std::string() : std::string(data, SizeofResource(stub_, found));
  }

  // One string of the string table in US English, read from its block of sixteen.
  static std::wstring string_resource(unsigned id) {
    std::string block = resource(RT_STRING, MAKEINTRESOURCEA(id / 16 + 1));
    size_t at = 0;
    for (unsigned i = 0; i < 16 && at + 2 <= block.size(); ++i) {
      size_t units = static_cast<uint8_t>(block[at]) | static_cast<uint8_t>(block[at + 1]) << 8;
      at += 2;
      if (units > (block.size() - at) / 2) break;
      if (i == id % 16) return std::wstring(reinterpret_cast<const wchar_t*>(block.data() + at), units);
      at += units * 2;
    }
    return L"<missing>";
  }

  static HMODULE stub_;
};

HMODULE StubResources::stub_ = nullptr;

TEST_F(StubResources, MessageStringsAreTheExactTexts) {
  const std::pair<unsigned, const wchar_t*> strings[] = {
      {100, L"Windows Installer is required for this installation package. The Microsoft\u00ae "
            L"Windows\u00ae Installer (MSI) is the application installation and configuration "
            L"service for Windows. To continue this installation, start it again when Windows "
            L"Installer is installed on your computer."},
      {101, L"The installation file is either corrupted or does not support your processor "
            L"architecture."},
      {102, L"Select a folder where you want to extract the installation files:"},
  };
  for (const auto& [id, text] : strings) EXPECT_EQ(string_resource(id), text) << id;
}

TEST_F(StubResources, ManifestAsksForAdministratorCommonControlsSixAndVistaToTen) {
  std::string manifest = resource(RT_MANIFEST, MAKEINTRESOURCEA(1));
  ASSERT_FALSE(manifest.empty());
  const char* required[] = {
      R"(level="requireAdministrator")",
      R"(uiAccess="false")",
      R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
      R"(publicKeyToken="6595b64144ccf1df")",
      "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
  };
  for (const char* needle : required) EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
}

#pragma pack(push, 2)
struct GroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

// Draws the icon at its own size on white: the corner must stay white (transparent) and the
// arrow's shaft must be blue.
void expect_the_picture(HICON icon, int size, const std::string& label) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, size, size);
  HGDIOBJ old = SelectObject(dc, canvas);
  RECT all = {0, 0, size, size};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  COLORREF corner = GetPixel(dc, 0, 0), arrow = GetPixel(dc, size / 2, size / 5);
  SelectObject(dc, old);
  DeleteObject(canvas);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(corner, RGB(255, 255, 255)) << label << ": the corner is transparent";
  EXPECT_GT(GetBValue(arrow), GetRValue(arrow) + 60) << label << ": the arrow is blue";
}

TEST_F(StubResources, IconGroupAppHoldsThirteenImagesThatDecodeToThePicture) {
  std::string app = resource(RT_GROUP_ICON, "APP");
  ASSERT_GE(app.size(), 6u);
  WORD count = *reinterpret_cast<const WORD*>(app.data() + 4);
  ASSERT_EQ(count, 13);
  ASSERT_EQ(app.size(), 6 + count * sizeof(GroupEntry));
  // The same group under identifier 1 names the same images rather than copies of them.
  EXPECT_EQ(resource(RT_GROUP_ICON, MAKEINTRESOURCEA(1)), app);

  std::set<std::pair<int, int>> sizes_and_depths;
  for (WORD i = 0; i < count; ++i) {
    GroupEntry entry;
    memcpy(&entry, app.data() + 6 + i * sizeof entry, sizeof entry);
    int size = entry.width == 0 ? 256 : entry.width;
    sizes_and_depths.insert({size, entry.bit_count});
    std::string label = std::to_string(size) + " px, " + std::to_string(entry.bit_count) + " bit";
    std::string image = resource(RT_ICON, MAKEINTRESOURCEA(entry.id));
    EXPECT_EQ(image.size(), entry.bytes) << label;
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()),
                                          static_cast<DWORD>(image.size()), TRUE, 0x00030000, size,
                                          size, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr) << label;
    expect_the_picture(icon, size, label);
    DestroyIcon(icon);
  }
  std::set<std::pair<int, int>> expected = {{256, 32}};
  for (int size : {48, 32, 24, 16}) {
    for (int depth : {32, 8, 4}) expected.insert({size, depth});
  }
  EXPECT_EQ(sizes_and_depths, expected);
}

TEST_F(StubResources, IconOneLoadsAtBothSmallSizes) {
  for (int size : {32, 16}) {
    HICON icon = static_cast<HICON>(
        LoadImageA(stub_, MAKEINTRESOURCEA(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap = {};
    GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    expect_the_picture(icon, size, "icon 1 at " + std::to_string(size));
    DestroyIcon(icon);
  }
}

}  // namespace
