#include "container_layout.h"

#include <zlib.h>

#include "payload/container.h"
#include "record_packing.h"

namespace msiboot_tool {

Bytes zlib_compress(const Bytes& bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes.size()));
  Bytes out(length);
  int rc = compress2(out.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()), 9);
  if (rc != Z_OK) throw std::runtime_error("zlib compression failed");
  out.resize(length);
  return out;
}

void append_trailer(Bytes& out, const uint8_t* type, uint32_t id, uint32_t signature_length,
                    uint32_t data_length) {
  out.insert(out.end(), type, type + sizeof(RecordType));
  append_u32le(out, id);
  append_u32le(out, signature_length);
  append_u32le(out, data_length);
}

void append_record(Bytes& out, bool manifest, uint32_t id, const Bytes& data,
                   const Bytes& signature) {
  out.insert(out.end(), data.begin(), data.end());
  out.insert(out.end(), signature.begin(), signature.end());
  append_trailer(out, manifest ? ManifestRecordType : FileRecordType, id,
                 checked_u32(signature.size(), "signature field"),
                 checked_u32(data.size(), "data field"));
  checked_u32(out.size(), "container");
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

Bytes lay_out_container(const std::vector<ContainerRecord>& records, const ContentSigner& sign,
                        const PackProgress& progress) {
  return join_parts(container_parts(records, sign, progress));
}

}  // namespace msiboot_tool
