#include "payload/payload_public_key.h"

#include "payload/payload_key_slot.h"

void build_payload_public_key(uint8_t* key) {
  for (uint32_t i = 0; i < kPayloadPublicKeySize; ++i) key[i] = kPayloadKeySlot.key[i];
}
