#pragma once
// Test hooks of the Linux heap: count live blocks and make the n-th allocation fail, so tests can
// prove that every out-of-memory path leaves nothing allocated.
#include <cstddef>

// Forgets earlier failure plans and the largest block; live-block counting goes on.
void heap_test_reset();
// Number of blocks allocated and not yet freed.
size_t heap_test_live_blocks();
// The n-th allocation or reallocation from now (1 = the next) fails; 0 turns failures off.
void heap_test_fail_at(size_t n);
// Allocations and reallocations attempted since the last reset.
size_t heap_test_calls();
// The largest block allocated or reallocated since the last reset, in bytes.
size_t heap_test_largest_block();
