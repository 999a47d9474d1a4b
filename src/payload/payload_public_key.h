#pragma once
// PayloadPublicKey: the RSA-2048 public key, as a PUBLICKEYBLOB, that every signed record must
// verify against. It is compiled in from the blob file the build was configured with.
#include <cstdint>

constexpr uint32_t kPayloadPublicKeySize = 276;

// Writes the key byte by byte into key; no decoded form is kept between verifications.
void build_payload_public_key(uint8_t* key);
