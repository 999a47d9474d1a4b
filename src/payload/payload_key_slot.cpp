// The slot with the key the build was configured with (MSIBOOT_PUBLIC_KEY).
#include "payload/payload_key_slot.h"

__attribute__((used)) const volatile PayloadKeySlot kPayloadKeySlot = {
    {MSIBOOT_KEY_SLOT_MARKER},
    {
#include "payload_public_key.inc"
    }};
