#include "container/layout.h"

#include "container/record_packing.h"
#include "payload/container.h"

namespace msiboot_tool {

void append_trailer(Bytes& out, const uint8_t* type, uint32_t id, uint32_t signature_length,
                    uint32_t data_length) {
  out.insert(out.end(), type, type + sizeof(RecordType));
  append_u32le(out, id);
  append_u32le(out, signature_length);
  append_u32le(out, data_length);
}

ContainerParts container_parts(const std::vector<ContainerRecord>& records, const ContentSigner& sign,
                               const PackProgress& progress) {
  std::vector<PackedRecord> packed = pack_records(records, sign, progress);
  ContainerParts parts;
  size_t total = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    size_t data_length = 0;
    for (Bytes& part : packed[i].data) {
      data_length += part.size();
      parts.push_back(std::move(part));
    }
    Bytes trailer;
    append_trailer(trailer, records[i].manifest ? ManifestRecordType : FileRecordType, records[i].id,
                   checked_u32(packed[i].signature.size(), "signature field"),
                   checked_u32(data_length, "data field"));
    total += data_length + packed[i].signature.size() + trailer.size();
    parts.push_back(std::move(packed[i].signature));
    parts.push_back(std::move(trailer));
  }
  checked_u32(total, "container");
  return parts;
}

Bytes join_parts(const ContainerParts& parts) {
  size_t total = 0;
  for (const Bytes& part : parts) total += part.size();
  Bytes out;
  out.reserve(total);
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace msiboot_tool
