#pragma once
// SHA-256 over content that arrives in pieces. Linux only: the tool checks records as they
// inflate, where the stub hashes each content it holds whole (content_sha256).
#include <cstdint>

struct ContentHash {
  void* state;  // the platform's; null when hashing could not start
};

// Starts a hash; false (state null) when the platform cannot hash.
bool content_hash_begin(ContentHash* hash);
bool content_hash_add(ContentHash* hash, const uint8_t* bytes, uint32_t length);
// Writes the SHA-256 of everything added into digest (kSha256Size bytes) and frees the state;
// false when hashing failed at any step. Call it once for every begun hash, also after a failure.
bool content_hash_end(ContentHash* hash, uint8_t* digest);
