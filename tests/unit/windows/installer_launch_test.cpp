// The installer's command line, its launch and exit-code rules through a scripted process seam,
// the registration check against the real registry, and what the clean-up keeps.
#include "extract/win/installer_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "extract/win/item_cleanup.h"
#include "extract/win/item_files.h"
#include "platform/heap.h"

namespace {

std::vector<char16_t*> table(std::vector<std::u16string>& args) {
  std::vector<char16_t*> argv;
  for (std::u16string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

TEST(InstallerCommand, QuotesWhatHoldsWhiteSpaceAndKeepsTheArgumentOrder) {
  struct Case {
    const char* installer;
    const char* package;
    std::vector<std::u16string> args;  // after the program name
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\sys\\msiexec.exe", "C:\\P\\main.msi", {}, "C:\\sys\\msiexec.exe /i C:\\P\\main.msi"},
      {"C:\\a b\\msiexec.exe", "C:\\c d\\main.msi", {u"/qn", u"X=C:\\Program Files\\Y"},
       "\"C:\\a b\\msiexec.exe\" /i \"C:\\c d\\main.msi\" /qn \"X=C:\\Program Files\\Y\""},
      {"m.exe", "p.msi", {u"/QUIET", u"", u"a\tb", u"/l*v", u"log.txt"},
       "m.exe /i p.msi /QUIET  \"a\tb\" /l*v log.txt"},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> args = {u"setup.exe"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char16_t*> argv = table(args);
    char line[kCommandLineSize];
    EXPECT_EQ(build_installer_command(c.installer, c.package, argv.data(),
                                      static_cast<int>(args.size()), line),
              0u);
    EXPECT_STREQ(line, c.expected);
  }
}

TEST(InstallerCommand, FailsRatherThanDropOrCutAnArgumentPastTheLimit) {
  const std::string fixed = "m.exe /i p.msi";  // 14 characters, then " " and the argument
  for (size_t total : {1023u, 1024u, 5000u}) {
    std::vector<std::u16string> args = {u"setup.exe", std::u16string(total - fixed.size() - 1, 'a')};
    std::vector<char16_t*> argv = table(args);
    char line[kCommandLineSize];
    uint32_t result = build_installer_command("m.exe", "p.msi", argv.data(), 2, line);
    EXPECT_EQ(result, total <= 1023 ? 0u : 206u) << total;
    EXPECT_EQ(strlen(line), total <= 1023 ? total : 0u) << total;
  }
}

// The scripted installer behind the process seam.
struct Script {
  BOOL created = TRUE;
  DWORD create_error = 0;
  DWORD wait_result = WAIT_OBJECT_0;
  BOOL code_read = TRUE;
  DWORD code = 0;
  // seen
  std::string application, command;
  STARTUPINFOA startup = {};
  int closed = 0;
};
Script script;

BOOL WINAPI fake_create(LPCSTR application, LPSTR command, LPSECURITY_ATTRIBUTES,
                        LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR,
                        LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info) {
  script.application = application;
  script.command = command;
  script.startup = *startup;
  info->hProcess = reinterpret_cast<HANDLE>(0x10);
  info->hThread = reinterpret_cast<HANDLE>(0x20);
  SetLastError(script.create_error);
  return script.created;
}
DWORD WINAPI fake_wait(HANDLE, DWORD) { return script.wait_result; }
BOOL WINAPI fake_exit_code(HANDLE, LPDWORD code) {
  *code = script.code;
  return script.code_read;
}
BOOL WINAPI fake_close(HANDLE) {
  ++script.closed;
  return TRUE;
}

// Each way a launch ends. An argument without an exact narrow spelling (best fit would make the
// fullwidth quotes '"', injecting /lv) fails it naming the argument: the installer never starts.
TEST(InstallerLaunch, ExitCodeRules) {
  struct Case {
    const char* name;
    Script script;
    uint32_t code, site, exit_code;
    bool silenced;
    const char* text;  // the box's text, for a launch that failed
    std::u16string extra = u"";  // an argument after /qn
  };
  Script ok, fails, fails_quietly, cancelled, unreadable, wait_fails;
  fails.created = fails_quietly.created = FALSE;
  fails.create_error = ERROR_FILE_NOT_FOUND;
  cancelled.code = 1602;
  unreadable.code_read = FALSE;
  wait_fails.wait_result = WAIT_FAILED;
  const Case cases[] = {
      {"success", ok, 0, 2349, 0, false, ""},
      {"cancelled in the installer", cancelled, 1602, 2349, 1602, true, ""},
      {"code unreadable", unreadable, 1601, 2349, 1601, true, ""},
      {"wait failed", wait_fails, 1601, 2349, 1601, true, ""},
      {"not started", fails, 2, 2355, 1601, false, "(C:\\sys\\msiexec.exe)."},
      {"not started, no error", fails_quietly, 89, 2355, 1601, false, "(C:\\sys\\msiexec.exe)."},
      {"no exact spelling", ok, 1113, 2355, 1601, false, "(argument 2: PROP=a? /lv C:\\x.log ?b).",
       u"PROP=a\uFF02 /lv C:\\x.log \uFF02b"},
  };
  installer_process_calls = {fake_create, fake_wait, fake_exit_code, fake_close};
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.extra.empty() && GetACP() != 1252) continue;  // needs a Western code page
    script = c.script;
    std::u16string program = u"setup.exe", quiet = u"/qn";
    char16_t* argv[] = {program.data(), quiet.data(), c.extra.empty() ? nullptr : c.extra.data(), nullptr};
    InstallerLaunch launch = {"C:\\sys\\msiexec.exe", "C:\\P\\main.msi", argv, c.extra.empty() ? 2 : 3, 0x10003};
    uint32_t exit_code = 1601;
    bool silenced = false;
    char text[2048] = {};
    Status status = launch_installer(launch, &exit_code, text, sizeof text, &silenced);
    EXPECT_EQ(status_code(status), c.code);
    EXPECT_EQ(status_site(status), c.site);
    EXPECT_EQ(exit_code, c.exit_code);
    EXPECT_EQ(silenced, c.silenced);
    std::string shown = text;
    EXPECT_EQ(shown.substr(shown.size() - std::min(shown.size(), strlen(c.text))), c.text);
    if (!c.extra.empty()) {
      EXPECT_EQ(script.command, "") << "the installer must not start";
      continue;
    }
    EXPECT_EQ(script.application, "C:\\sys\\msiexec.exe");
    EXPECT_EQ(script.command, "C:\\sys\\msiexec.exe /i C:\\P\\main.msi /qn");
    EXPECT_EQ(script.startup.cb, 104u);
    EXPECT_EQ(script.startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(script.startup.wShowWindow, 3);  // the low 16 bits of the show command
    EXPECT_EQ(script.closed, c.script.created ? 2 : 0);
  }
  installer_process_calls = {CreateProcessA, WaitForSingleObject, GetExitCodeProcess, CloseHandle};
}

constexpr char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A product key in the given registry view, with an UninstallString of the given bytes.
void register_product(const std::string& name, REGSAM view, const char* value, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kUninstall + name).c_str(), 0, nullptr, 0,
                            KEY_WRITE | view, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (value != nullptr) {
    RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size);
  }
  RegCloseKey(key);
}

void unregister_product(const std::string& name, REGSAM view) {
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (kUninstall + name).c_str(), view, 0);
}

TEST(ProductRegistered, NeedsANonEmptyUninstallStringInEitherView) {
  struct Case {
    std::string folder;
    REGSAM view;
    const char* value;
    DWORD size;
    bool registered;
  };
  const std::string longest(203, 'L');  // the longest folder name whose key path fits
  const Case cases[] = {
      {"{MSIBOOT-TEST-A}", KEY_WOW64_64KEY, "msiexec /x", 11, true},
      {"{MSIBOOT-TEST-B}", KEY_WOW64_64KEY, "", 0, false},
      {"{MSIBOOT-TEST-C}", KEY_WOW64_64KEY, nullptr, 0, false},
      {"{MSIBOOT-TEST-D}", KEY_WOW64_32KEY, "msiexec /x", 11, true},
      {"{MSIBOOT-TEST-E}", KEY_WOW64_64KEY, "", 1, false},
      {"{MSIBOOT-TEST-F}", KEY_WOW64_32KEY, "x", 2, true},
      {longest, KEY_WOW64_64KEY, "msiexec /x", 11, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    register_product(c.folder, c.view, c.value, c.size);
    EXPECT_EQ(product_registered(c.folder.c_str()), c.registered);
    unregister_product(c.folder, c.view);
  }
  EXPECT_FALSE(product_registered("{MSIBOOT-TEST-NEVER}"));
  EXPECT_FALSE(product_registered(std::string(204, 'L').c_str()));  // the key path would not fit
}

TEST(CleanUp, DeletesTheWrittenFilesUnlessInstalledOrRegistered) {
  struct Case {
    uint32_t exit_code;
    bool registered, files_kept, folder_kept;
  };
  const Case cases[] = {
      {0, false, true, true},        // installed; the folder removal fails on its files
      {1602, false, false, false},   // cancelled in the installer
      {1601, false, false, false},   // the installer never ran
      {1603, true, true, true},      // a maintenance run that failed
  };
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string base(temp, strlen(temp) - 1);  // without its backslash
  const std::string name = "msiboot-cleanup-" + std::to_string(GetCurrentProcessId());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exit_code);
    HeldFolder held = {};
    ASSERT_TRUE(hold_product_folder(base.c_str(), name.c_str(), held));
    const std::string folder = held.path;
    ItemWriter writer = empty_item_writer();
    writer.count = 2;
    writer.items = static_cast<ExtractItem*>(heap_alloc(kHeapZeroInit, 2 * sizeof(ExtractItem)));
    for (int i = 0; i < 2; ++i) {
      ExtractItem& item = writer.items[i];
      item.data = static_cast<uint8_t*>(heap_alloc(kHeapZeroInit, 16));
      snprintf(item.path, sizeof item.path, "%s\\item%d", folder.c_str(), i);
      item.handle = CreateFileA(item.path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, 0,
                                nullptr);
      item.created = true;
    }
    const std::string first = writer.items[0].path;
    clean_up_items(writer, held, c.exit_code, c.registered);
    EXPECT_EQ(writer.items, nullptr);
    EXPECT_EQ(held.handle, nullptr);
    EXPECT_EQ(path_exists(first.c_str()), c.files_kept);
    EXPECT_EQ(path_exists(folder.c_str()), c.folder_kept);
    for (int i = 0; i < 2; ++i) DeleteFileA((folder + "\\item" + std::to_string(i)).c_str());
    RemoveDirectoryA(folder.c_str());
  }
}

}  // namespace
