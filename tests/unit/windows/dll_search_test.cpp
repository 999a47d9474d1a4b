// DLL search locked to the system directory: a DLL planted next to the program or in its current
// folder loads before the lock and not after it, while system DLLs still load. The lock holds for
// the whole process, so each case runs the probe program as a fresh process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/system_library_win.h"

namespace {

constexpr const char* kPlanted = "msiboot-planted.dll";
constexpr const char* kPlantedInFolder = "msiboot-planted-in-folder.dll";

std::string own_folder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\') + 1);
}

// A folder outside the program's own, holding a copy of the planted DLL under another name.
std::string other_folder() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "msiboot-dll-search\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  CopyFileA((own_folder() + kPlanted).c_str(), (folder + kPlantedInFolder).c_str(), FALSE);
  return folder;
}

DWORD run_probe(const std::string& arguments, const std::string& current_folder) {
  std::string line = "\"" + own_folder() + "msiboot-dll-search-probe.exe\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      current_folder.c_str(), &startup, &process)) {
    return 1000 + GetLastError();
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 999;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(DllSearch, PlantedDllsLoadOnlyBeforeTheLock) {
  const std::string elsewhere = other_folder();
  struct Case {
    std::string arguments, current_folder;
    DWORD expected;  // 0 loaded, 1 not found
  } cases[] = {
      {kPlanted, elsewhere, 0},                          // next to the program
      {std::string("lock ") + kPlanted, elsewhere, 1},
      {kPlantedInFolder, elsewhere, 0},                  // in the current folder
      {std::string("lock ") + kPlantedInFolder, elsewhere, 1},
      {std::string("lock ") + kPlanted, own_folder(), 1},
      {"lock version.dll", elsewhere, 0},                // system DLLs still load
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run_probe(c.arguments, c.current_folder), c.expected)
        << c.arguments << " in " << c.current_folder;
  }
}

// The system functions come from the system directory only: the planted DLL beside this program
// (no search lock here) counts as missing.
TEST(SystemLibrary, AMissingDllOrFunctionFailsWithItsCode) {
  const struct {
    SystemFunctionName name;
    uint32_t expected;
  } cases[] = {
      {{L"crypt32.dll", "CryptMsgClose"}, 0},
      {{L"msiboot-planted.dll", "msiboot_planted"}, ERROR_MOD_NOT_FOUND},
      {{L"crypt32.dll", "msiboot_planted"}, ERROR_PROC_NOT_FOUND},
  };
  for (const auto& c : cases) {
    void* address = nullptr;
    EXPECT_EQ(resolve_system_functions(&c.name, 1, &address), c.expected) << c.name.function;
    EXPECT_EQ(address != nullptr, c.expected == 0) << c.name.function;
  }
}

}  // namespace
