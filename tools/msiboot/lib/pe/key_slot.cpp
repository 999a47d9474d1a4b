#include "pe/key_slot.h"

#include <openssl/sha.h>

#include <algorithm>
#include <stdexcept>

#include "files/tool_error.h"
#include "payload/payload_key_slot.h"
#include "pe/certificate_table.h"
#include "pe/headers.h"

namespace msiboot_tool {

size_t stub_key_offset(std::span<const uint8_t> full) {
  has_certificate_table(full);  // throws unless it is a PE32+ image
  // The slot is in the program's own sections: what follows them is a payload, whose files may
  // well hold a stub of their own, and is not read.
  std::span<const uint8_t> stub = full.first(std::min<size_t>(full.size(), sections_end(full)));
  const uint8_t* begin = kKeySlotMarker;
  const uint8_t* end = kKeySlotMarker + kKeySlotMarkerSize;
  auto found = std::search(stub.begin(), stub.end(), begin, end);
  if (found == stub.end()) throw ToolError("not a msiboot stub (it has no key slot)");
  if (std::search(found + 1, stub.end(), begin, end) != stub.end()) {
    throw ToolError("holds more than one key slot");
  }
  size_t key = static_cast<size_t>(found - stub.begin()) + kKeySlotMarkerSize;
  if (stub.size() - key < kPayloadPublicKeySize) throw ToolError("its key slot is cut short");
  return key;
}

Bytes stub_key(std::span<const uint8_t> stub) {
  size_t key = stub_key_offset(stub);
  return Bytes(stub.begin() + key, stub.begin() + key + kPayloadPublicKeySize);
}

bool is_empty_key(std::span<const uint8_t> key) {
  return std::all_of(key.begin(), key.end(), [](uint8_t b) { return b == 0; });
}

std::string key_sha256(std::span<const uint8_t> key) {
  if (is_empty_key(key)) return "";
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(key.data(), key.size(), digest);
  return hex_text(digest);
}

Bytes stamp_stub(const Bytes& stub, const Bytes& key_blob) {
  if (key_blob.size() != kPayloadPublicKeySize) throw ToolError("the key blob is not 276 bytes");
  size_t key = stub_key_offset(stub);
  if (has_certificate_table(stub)) {
    throw ToolError("is signed: stamping a key would break its signature (stamp first, then sign)");
  }
  // A payload signed with another key would fail every user once the key is replaced.
  if (sections_end(stub) < stub.size()) {
    throw ToolError("carries data after its image (a payload already?): stamp the bare stub");
  }
  Bytes stamped = stub;
  std::copy(key_blob.begin(), key_blob.end(), stamped.begin() + static_cast<std::ptrdiff_t>(key));
  update_pe_checksum(stamped);
  return stamped;
}

}  // namespace msiboot_tool
