#include "container_layout.h"

#include <zlib.h>

#include <stdexcept>

#include "payload/container.h"

namespace msiboot_tool {
namespace {

// {0B5E9F3C-6A11-4C1D-8E2A-5D3B7C9A1F00}: a type no reader knows.
constexpr uint8_t kForeignRecordType[16] = {0x3C, 0x9F, 0x5E, 0x0B, 0x11, 0x6A, 0x1D, 0x4C,
                                            0x8E, 0x2A, 0x5D, 0x3B, 0x7C, 0x9A, 0x1F, 0x00};

struct RecordFields {
  std::vector<uint8_t> data;
  std::vector<uint8_t> signature;
};

void append_u32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t size32(size_t size) {
  if (size > UINT32_MAX) throw std::length_error("container field longer than 4 GiB");
  return static_cast<uint32_t>(size);
}

RecordFields fields_of(const ContainerRecord& record, const ContentSigner& sign) {
  const std::vector<uint8_t>& content = record.content;
  RecordFields f;
  switch (record.fault) {
    case RecordFault::Stored:
      return {content, sign(content)};
    case RecordFault::StoredUnsigned:
      return {content, {}};
    case RecordFault::DataInSignature:
      return {{}, content};
    case RecordFault::Unsigned:
      return {zlib_compress(content), {}};
    case RecordFault::SignatureOverCompressed:
      f.data = zlib_compress(content);
      f.signature = sign(f.data);
      return f;
    case RecordFault::TamperedContent: {
      std::vector<uint8_t> changed = content;
      if (changed.empty()) changed.push_back(0);
      changed.back() ^= 0x01;
      return {zlib_compress(changed), sign(content)};
    }
    default:
      break;
  }
  f.data = zlib_compress(content);
  f.signature = sign(content);
  if (record.fault == RecordFault::Signature255 && !f.signature.empty()) f.signature.pop_back();
  if (record.fault == RecordFault::Signature257) f.signature.insert(f.signature.begin(), 0);
  if (record.fault == RecordFault::TruncatedStream) f.data.pop_back();
  if (record.fault == RecordFault::TrailingBytes) f.data.insert(f.data.end(), {0xA5, 0x5A, 0x00});
  return f;
}

void append_record(std::vector<uint8_t>* out, const ContainerRecord& record,
                   const ContentSigner& sign) {
  RecordFields f = fields_of(record, sign);
  uint32_t data_length = size32(f.data.size());
  uint32_t signature_length = size32(f.signature.size());
  out->insert(out->end(), f.data.begin(), f.data.end());
  uint32_t before_signature = size32(out->size());
  out->insert(out->end(), f.signature.begin(), f.signature.end());
  uint32_t before_trailer = size32(out->size());

  if (record.fault == RecordFault::WrongDataLength) data_length += 1;
  if (record.fault == RecordFault::WrongSignatureLength) signature_length += 1;
  if (record.fault == RecordFault::DataLengthPastStart) data_length = before_signature + 1;
  if (record.fault == RecordFault::SignatureLengthPastStart) signature_length = before_trailer + 1;

  const uint8_t* type = record.manifest ? ManifestRecordType : FileRecordType;
  if (record.fault == RecordFault::ForeignTrailerType) type = kForeignRecordType;
  out->insert(out->end(), type, type + 16);
  append_u32(out, record.id);
  append_u32(out, signature_length);
  append_u32(out, data_length);
}

}  // namespace

std::vector<uint8_t> zlib_compress(const std::vector<uint8_t>& bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes.size()));
  std::vector<uint8_t> out(length);
  int rc = compress2(out.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()), 9);
  if (rc != Z_OK) throw std::runtime_error("zlib compression failed");
  out.resize(length);
  return out;
}

std::vector<uint8_t> lay_out_container(const std::vector<ContainerRecord>& records,
                                       const ContentSigner& sign) {
  std::vector<uint8_t> out;
  for (const ContainerRecord& record : records) append_record(&out, record, sign);
  return out;
}

}  // namespace msiboot_tool
