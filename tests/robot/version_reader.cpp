// Prints what the system reads of a program, one UTF-8 line each: whether the header's PE checksum
// is the file's (MapFileAndCheckSumW: "checksum matches", or "checksum HEADER COMPUTED"), then its
// version information (GetFileVersionInfoW and VerQueryValueW): "fixed FILE PRODUCT", then
// "NAME=VALUE" for every field of the string table that its Translation names.
//   msiboot-version-reader.exe PROGRAM.exe
#include <windows.h>
// windows.h first: imagehlp.h depends on it.
#include <imagehlp.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  DWORD header = 0, computed = 0;
  if (MapFileAndCheckSumW(argv[1], &header, &computed) != CHECKSUM_SUCCESS) return 1;
  if (header == computed) {
    std::printf("checksum matches\n");
  } else {
    std::printf("checksum %08lx %08lx\n", header, computed);
  }
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  std::vector<BYTE> info(size);
  if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, info.data())) {
    std::printf("error %lu\n", GetLastError());
    return 1;
  }
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(info.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("fixed %lu.%lu.%lu.%lu %lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
                fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
                fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
                fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF);
  }
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) return 1;
  const WORD* translation = static_cast<const WORD*>(value);
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"LegalCopyright",
                              L"ProductName", L"ProductVersion"}) {
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
    if (!VerQueryValueW(info.data(), path, &value, &length)) continue;
    char text[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, static_cast<const wchar_t*>(value), -1, text, sizeof text, nullptr, nullptr);
    std::printf("%ls=%s\n", name, text);
  }
  return 0;
}
