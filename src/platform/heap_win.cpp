#include <windows.h>

#include "platform/heap.h"

void* heap_alloc(uint32_t flags, size_t size) { return LocalAlloc(flags, size); }

void* heap_realloc(void* block, size_t size, uint32_t flags) {
  return LocalReAlloc(block, size, LMEM_MOVEABLE | flags);
}

void heap_free(void* block) {
  if (block != nullptr) LocalFree(block);
}
