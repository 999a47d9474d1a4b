#include "record_faults.h"

#include <zlib.h>

#include <stdexcept>

#include "container/layout.h"
#include "payload/container.h"

namespace msiboot_test {
namespace {

// {0B5E9F3C-6A11-4C1D-8E2A-5D3B7C9A1F00}: a type no reader knows.
constexpr uint8_t kForeignRecordType[16] = {0x3C, 0x9F, 0x5E, 0x0B, 0x11, 0x6A, 0x1D, 0x4C,
                                            0x8E, 0x2A, 0x5D, 0x3B, 0x7C, 0x9A, 0x1F, 0x00};

struct RecordFields {
  Bytes data;
  Bytes signature;
};

RecordFields fields_of(const TestRecord& record, const msiboot_tool::ContentSigner& sign) {
  const Bytes& content = record.content;
  RecordFields f;
  switch (record.fault) {
    case RecordFault::Stored:
      return {content, sign(content)};
    case RecordFault::StoredUnsigned:
      return {content, {}};
    case RecordFault::DataInSignature:
      return {{}, content};
    case RecordFault::Unsigned:
      return {zlib_stream(content), {}};
    case RecordFault::SignatureOverCompressed:
      f.data = zlib_stream(content);
      f.signature = sign(f.data);
      return f;
    case RecordFault::TamperedContent: {
      Bytes changed = content;
      if (changed.empty()) changed.push_back(0);
      changed.back() ^= 0x01;
      return {zlib_stream(changed), sign(content)};
    }
    default:
      break;
  }
  f.data = zlib_stream(content);
  f.signature = sign(content);
  if (record.fault == RecordFault::Signature255 && !f.signature.empty()) f.signature.pop_back();
  if (record.fault == RecordFault::Signature257) f.signature.insert(f.signature.begin(), 0);
  if (record.fault == RecordFault::TruncatedStream) f.data.pop_back();
  if (record.fault == RecordFault::TrailingBytes) f.data.insert(f.data.end(), {0xA5, 0x5A, 0x00});
  return f;
}

void append_record(Bytes& out, const TestRecord& record,
                   const msiboot_tool::ContentSigner& sign) {
  RecordFields f = fields_of(record, sign);
  uint32_t data_length = static_cast<uint32_t>(f.data.size());
  uint32_t signature_length = static_cast<uint32_t>(f.signature.size());
  out.insert(out.end(), f.data.begin(), f.data.end());
  uint32_t before_signature = static_cast<uint32_t>(out.size());
  out.insert(out.end(), f.signature.begin(), f.signature.end());
  uint32_t before_trailer = static_cast<uint32_t>(out.size());

  if (record.fault == RecordFault::WrongDataLength) data_length += 1;
  if (record.fault == RecordFault::WrongSignatureLength) signature_length += 1;
  if (record.fault == RecordFault::DataLengthPastStart) data_length = before_signature + 1;
  if (record.fault == RecordFault::SignatureLengthPastStart) signature_length = before_trailer + 1;

  const uint8_t* type = record.manifest ? ManifestRecordType : FileRecordType;
  if (record.fault == RecordFault::ForeignTrailerType) type = kForeignRecordType;
  msiboot_tool::append_trailer(out, type, record.id, signature_length, data_length);
}

}  // namespace

Bytes lay_out_container(const std::vector<TestRecord>& records, const msiboot_tool::ContentSigner& sign) {
  Bytes out;
  for (const TestRecord& record : records) append_record(out, record, sign);
  return out;
}

Bytes zlib_stream(const Bytes& bytes) { return zlib_compress(bytes); }

Bytes zlib_compress(const Bytes& bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes.size()));
  Bytes out(length);
  if (compress2(out.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()), 9) != Z_OK) {
    throw std::runtime_error("zlib compression failed");
  }
  out.resize(length);
  return out;
}

}  // namespace msiboot_test
