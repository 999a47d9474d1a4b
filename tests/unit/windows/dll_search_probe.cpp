// Loads a DLL by bare name, optionally after locking DLL search to the system directory, and
// reports by its exit code whether it was found:
//   dll_search_probe.exe [lock] NAME.dll
//   0 loaded, 1 not found, 2 the lock could not be set, 3 usage.
#include <windows.h>

#include <string.h>

#include "driver/win/system_dll_search.h"

int main(int argc, char** argv) {
  bool lock = argc == 3 && strcmp(argv[1], "lock") == 0;
  if (argc != (lock ? 3 : 2)) return 3;
  if (lock && !lock_dll_search_to_system_directory()) return 2;
  return LoadLibraryA(argv[argc - 1]) != nullptr ? 0 : 1;
}
