#pragma once
// The key slot of a built stub: the marked 276 bytes that hold the public key the stub trusts.
#include <cstddef>
#include <span>
#include <string>

#include "files/byte_buffer.h"

namespace msiboot_tool {

// The key the stub trusts, read from its slot: all zero when it trusts none. Throws
// ToolError when the image is not a PE32+ program or has no single key slot.
Bytes stub_key(std::span<const uint8_t> stub);

// True when the slot is empty: the stub trusts no key until stamped.
bool is_empty_key(std::span<const uint8_t> key);

// The key's SHA-256 in hex, empty for an empty slot.
std::string key_sha256(std::span<const uint8_t> key);

// Where the key bytes of the slot lie in the stub's file; throws like stub_key.
size_t stub_key_offset(std::span<const uint8_t> stub);

// The stub with key_blob (a 276-byte PUBLICKEYBLOB) in its slot and its PE checksum updated.
// Refuses (throws) a signed stub, whose signature stamping would break: stamp first, then sign.
Bytes stamp_stub(const Bytes& stub, const Bytes& key_blob);

}  // namespace msiboot_tool
