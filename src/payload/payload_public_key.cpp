#include "payload/payload_public_key.h"

namespace {

const uint8_t kPayloadPublicKeyBytes[] = {
#include "payload_public_key.inc"
};
static_assert(sizeof kPayloadPublicKeyBytes == kPayloadPublicKeySize,
              "the payload key must be a 276-byte PUBLICKEYBLOB");

}  // namespace

void build_payload_public_key(uint8_t* key) {
  for (uint32_t i = 0; i < kPayloadPublicKeySize; ++i) key[i] = kPayloadPublicKeyBytes[i];
}
