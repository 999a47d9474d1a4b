#pragma once
// The marked slot that holds PayloadPublicKey in the program's image: 16 marker bytes, then the
// 276-byte PUBLICKEYBLOB. msiboot stub finds the marker in a built stub and writes a publisher's
// key over the blob, so that no toolchain is needed to make a stub for another key.
#include <cstdint>

#include "payload/payload_public_key.h"

constexpr uint32_t kKeySlotMarkerSize = 16;
#define MSIBOOT_KEY_SLOT_MARKER \
  'm', 's', 'i', 'b', 'o', 'o', 't', '-', 'k', 'e', 'y', '-', 's', 'l', 'o', 't'
constexpr uint8_t kKeySlotMarker[kKeySlotMarkerSize] = {MSIBOOT_KEY_SLOT_MARKER};

struct PayloadKeySlot {
  uint8_t marker[kKeySlotMarkerSize];
  uint8_t key[kPayloadPublicKeySize];  // all zero: the program trusts no key until stamped
};

// Volatile: the compiler must read the key from the image at run time and never fold its bytes
// into code, where a stamped key would not reach. Defined once per program: payload_key_slot.cpp
// (the configured key) or payload_key_slot_empty.cpp (the stub made for stamping).
extern const volatile PayloadKeySlot kPayloadKeySlot;
