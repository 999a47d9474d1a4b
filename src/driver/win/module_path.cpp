#include "driver/win/module_path.h"

#include <windows.h>

#include "platform/heap.h"

namespace {

// Asks with a growing buffer until the path is not cut to its capacity.
template <typename Char, typename Query>
Char* module_path(Query query) {
  DWORD capacity = MAX_PATH;
  auto* path = static_cast<Char*>(heap_alloc(kHeapFixed, (capacity + 1) * sizeof(Char)));
  while (path != nullptr) {
    DWORD got = query(nullptr, path, capacity);
    if (got == 0) break;
    if (got < capacity) return path;
    // The path was cut to the capacity: grow and ask again.
    capacity += 64;
    void* grown = heap_realloc(path, (capacity + 1) * sizeof(Char), kHeapFixed);
    if (grown == nullptr) break;
    path = static_cast<Char*>(grown);
  }
  heap_free(path);
  return nullptr;
}

}  // namespace

char* get_module_path() { return module_path<char>(GetModuleFileNameA); }

wchar_t* get_wide_module_path() { return module_path<wchar_t>(GetModuleFileNameW); }
