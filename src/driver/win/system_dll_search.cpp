#include "driver/win/system_dll_search.h"

#include <windows.h>

bool lock_dll_search_to_system_directory() {
  // Looked up at run time: systems before the facility must still start the program.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return false;
  auto set_directories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  return set_directories != nullptr && set_directories(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}
