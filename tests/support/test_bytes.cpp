#include "test_bytes.h"

Bytes incompressible_bytes(size_t size, uint32_t seed) {
  Bytes bytes(size);
  uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
  for (uint8_t& b : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<uint8_t>(state >> 32);
  }
  return bytes;
}
