#pragma once
// Local-heap blocks, the only allocator of the payload core and the command-line splitter.
// On Windows these are LocalAlloc, LocalReAlloc and LocalFree; on Linux calloc and realloc, with a
// test hook that counts live blocks and can fail the n-th allocation.
#include <cstddef>
#include <cstdint>

enum : uint32_t {
  kHeapFixed = 0x0000,     // LMEM_FIXED
  kHeapZeroInit = 0x0040,  // LMEM_ZEROINIT
};

// A new block of size bytes, zero-filled when flags hold kHeapZeroInit; null on failure, with the
// last error set.
void* heap_alloc(uint32_t flags, size_t size);

// Resizes a block, moving it if needed (LMEM_MOVEABLE); with kHeapZeroInit the grown part is
// zero-filled. On failure returns null and the old block stays valid and owned by the caller.
void* heap_realloc(void* block, size_t size, uint32_t flags);

// Frees a block; null is allowed.
void heap_free(void* block);
