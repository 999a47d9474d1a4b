// The slot of the stub made for stamping: it trusts no key (every signed record fails) until
// msiboot stub or msiboot pack writes one in. Linked as one of the program's own objects, it takes
// the place of the configured slot in msiboot-core, whose archive member is then never pulled in.
#include "payload/payload_key_slot.h"

__attribute__((used)) const volatile PayloadKeySlot kPayloadKeySlot = {
    {MSIBOOT_KEY_SLOT_MARKER}, {}};
