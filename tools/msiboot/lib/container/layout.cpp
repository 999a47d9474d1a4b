#include "container/layout.h"

#include "payload/container.h"

namespace msiboot_tool {

void append_trailer(Bytes& out, const uint8_t* type, uint32_t id, uint32_t signature_length,
                    uint32_t data_length) {
  out.insert(out.end(), type, type + sizeof(RecordType));
  append_u32le(out, id);
  append_u32le(out, signature_length);
  append_u32le(out, data_length);
}

}  // namespace msiboot_tool
