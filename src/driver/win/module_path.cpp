#include "driver/win/module_path.h"

#include <windows.h>

#include "platform/heap.h"

char* get_module_path() {
  DWORD capacity = MAX_PATH;
  auto* path = static_cast<char*>(heap_alloc(kHeapFixed, capacity + 1));
  while (path != nullptr) {
    DWORD got = GetModuleFileNameA(nullptr, path, capacity);
    if (got == 0) break;
    if (got < capacity) return path;
    // The path was cut to the capacity: grow and ask again.
    capacity += 64;
    void* grown = heap_realloc(path, capacity + 1, kHeapFixed);
    if (grown == nullptr) break;
    path = static_cast<char*>(grown);
  }
  heap_free(path);
  return nullptr;
}
