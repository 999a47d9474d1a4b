#include "driver/win/system_dll_search.h"

#include <windows.h>

#include "platform/system_library_win.h"

namespace {

// DLLs that system components load by name on demand (the theme engine, version resources, the
// crypto providers, the shell's property system, accessibility, the folder browser's frame and the
// common controls' drawing helpers, ...), each a known planting target, and the stub's own crypt32
// and comctl32. Once loaded from the system directory, a later load by name finds the module
// already in the process; a delay-load (comctl32's of msimg32 when the browser opens) may not go
// through the locked search at all. On a system without SetDefaultDllDirectories this list is the
// only defence.
constexpr const wchar_t* kPreloaded[] = {
    L"uxtheme.dll",  L"version.dll",   L"dwmapi.dll",  L"cryptbase.dll", L"cryptsp.dll",
    L"rsaenh.dll",   L"userenv.dll",   L"propsys.dll", L"profapi.dll",   L"msasn1.dll",
    L"wintrust.dll", L"apphelp.dll",   L"ntmarta.dll", L"oleacc.dll",    L"sspicli.dll",
    L"bcrypt.dll",   L"msimg32.dll",   L"explorerframe.dll",
    L"crypt32.dll",  L"comctl32.dll",
};

}  // namespace

bool lock_dll_search_to_system_directory() {
  // Looked up at run time: systems before the facility must still start the program.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return false;
  auto set_directories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  return set_directories != nullptr && set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void preload_system_dlls() {
  for (const wchar_t* name : kPreloaded) load_system_library(name);
}
