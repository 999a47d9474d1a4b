#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "platform/error_codes.h"
#include "platform/heap.h"
#include "platform/heap_test.h"
#include "platform/last_error.h"

namespace {

// Each block carries its size in front so that a reallocation can zero-fill its grown part.
struct BlockHeader {
  size_t size;
  size_t pad;  // keeps the payload 16-byte aligned
};

std::atomic<size_t> live_blocks{0};
std::atomic<size_t> calls{0};
std::atomic<size_t> fail_at{0};
std::atomic<size_t> largest{0};

void note_size(size_t size) {
  size_t seen = largest.load();
  while (size > seen && !largest.compare_exchange_weak(seen, size)) {
  }
}

bool next_call_fails() {
  size_t n = ++calls;
  size_t target = fail_at.load();
  return target != 0 && n == target;
}

BlockHeader* header_of(void* block) { return static_cast<BlockHeader*>(block) - 1; }

}  // namespace

void* heap_alloc(uint32_t flags, size_t size) {
  if (next_call_fails() || size > SIZE_MAX - sizeof(BlockHeader)) {
    platform_set_last_error(kErrorNotEnoughMemory);
    return nullptr;
  }
  auto* h = static_cast<BlockHeader*>(malloc(sizeof(BlockHeader) + size));
  if (h == nullptr) {
    platform_set_last_error(kErrorNotEnoughMemory);
    return nullptr;
  }
  h->size = size;
  note_size(size);
  if (flags & kHeapZeroInit) memset(h + 1, 0, size);
  ++live_blocks;
  return h + 1;
}

void* heap_realloc(void* block, size_t size, uint32_t flags) {
  if (block == nullptr) return heap_alloc(flags, size);
  if (next_call_fails() || size > SIZE_MAX - sizeof(BlockHeader)) {
    platform_set_last_error(kErrorNotEnoughMemory);
    return nullptr;
  }
  BlockHeader* old = header_of(block);
  size_t old_size = old->size;
  auto* h = static_cast<BlockHeader*>(realloc(old, sizeof(BlockHeader) + size));
  if (h == nullptr) {
    platform_set_last_error(kErrorNotEnoughMemory);
    return nullptr;
  }
  h->size = size;
  note_size(size);
  if ((flags & kHeapZeroInit) && size > old_size) {
    memset(reinterpret_cast<unsigned char*>(h + 1) + old_size, 0, size - old_size);
  }
  return h + 1;
}

void heap_free(void* block) {
  if (block == nullptr) return;
  --live_blocks;
  free(header_of(block));
}

void heap_test_reset() {
  fail_at = 0;
  calls = 0;
  largest = 0;
}

size_t heap_test_largest_block() { return largest.load(); }

size_t heap_test_live_blocks() { return live_blocks.load(); }

void heap_test_fail_at(size_t n) {
  calls = 0;
  fail_at = n;
}

size_t heap_test_calls() { return calls.load(); }
