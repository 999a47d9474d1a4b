#pragma once
// The tests' bytes: one type for them, and one generator of pseudo-random bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Bytes that deflate does not shrink, the same for the same seed.
Bytes incompressible_bytes(size_t size, uint32_t seed);

// head, then tail.
inline Bytes joined(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}
