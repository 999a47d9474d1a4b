#include "payload/signature_table.h"

#include <string.h>

#include "payload/container.h"
#include "platform/certificate_set.h"
#include "platform/heap.h"
#include "platform/last_error.h"

const char PayloadExtensionOid[] =
    "1.2.840.113556.1.8000.2554.2951.50896.53846.17503.37240.13145692.12219546";

namespace {

constexpr uint32_t kInvalidArgument = 0x80070057;
constexpr uint32_t kNotEnoughMemory = 8;

// Fixed PE offsets: e_lfanew in the DOS header, then from the NT headers the signature, the
// optional header magic and the security data-directory entry. 264 bytes cover the signature,
// the file header and a whole PE32+ optional header.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kNtHeadersOffsetField = 0x3C;
constexpr uint32_t kNtHeadersSize = 264;
constexpr uint32_t kPeSignature = 0x00004550;
constexpr uint32_t kOptionalMagicOffset = 24;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSecurityOffsetField = 168;
constexpr uint32_t kSecuritySizeField = 172;
constexpr uint32_t kWinCertificateHeader = 8;

uint16_t read_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t read_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The content of the first WIN_CERTIFICATE entry, or false when the headers show no usable
// table. Sums are taken in 64 bits so that no header value can wrap a bound.
bool find_first_entry(const uint8_t* image, uint32_t size, const uint8_t** content,
                      uint32_t* length) {
  if (size < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z') return false;
  uint64_t nt = read_u32(image + kNtHeadersOffsetField);
  if (nt + kNtHeadersSize > size) return false;
  const uint8_t* headers = image + nt;
  if (read_u32(headers) != kPeSignature) return false;
  if (read_u16(headers + kOptionalMagicOffset) != kPe32PlusMagic) return false;
  uint64_t table_offset = read_u32(headers + kSecurityOffsetField);
  uint32_t table_size = read_u32(headers + kSecuritySizeField);
  if (table_size < kWinCertificateHeader || table_offset + table_size > size) return false;
  // An entry shorter than its own header or longer than the table cannot be decoded.
  uint32_t entry_length = read_u32(image + table_offset);
  if (entry_length < kWinCertificateHeader || entry_length > table_size) return false;
  *content = image + table_offset + kWinCertificateHeader;
  *length = entry_length - kWinCertificateHeader;
  return true;
}

bool is_carrier(const CertificateExtension& extension) {
  return !extension.critical && extension.identifier != nullptr &&
         strcmp(extension.identifier, PayloadExtensionOid) == 0;
}

Status walk_extensions(ParsedCertificate* certificate, Status status) {
  uint32_t count = certificate_extension_count(certificate);
  for (uint32_t i = 0; i < count && !status_failed(status); ++i) {
    CertificateExtension extension = {};
    certificate_extension(certificate, i, &extension);
    if (is_carrier(extension)) {
      status = add_container_blob(extension.value, extension.length, kSiteCarrierMemory,
                                  kSiteCarrierAppend);
    }
  }
  return status;
}

Status walk_certificate(CertificateSet* set, uint32_t index, Status status) {
  uint32_t size = 0;
  uint8_t* encoded = nullptr;
  ParsedCertificate* certificate = nullptr;
  if (!certificate_set_encoded_size(set, index, &size)) {
    status = make_status(platform_last_error, kInvalidArgument, kSiteCertificateSize);
  } else if ((encoded = static_cast<uint8_t*>(heap_alloc(kHeapFixed, size))) == nullptr) {
    status = make_status(platform_last_error, kNotEnoughMemory, kSiteCertificateMemory);
  } else if (!certificate_set_encoded(set, index, encoded, size)) {
    status = make_status(platform_last_error, kInvalidArgument, kSiteCertificateFetch);
  } else if (!certificate_parse(encoded, size, &certificate)) {
    status = make_status(platform_last_error, kInvalidArgument, kSiteCertificateParse);
  } else {
    status = walk_extensions(certificate, status);
  }
  certificate_free(certificate);
  heap_free(encoded);
  return status;
}

Status walk_message(const uint8_t* content, uint32_t length, Status status) {
  CertificateSet* set = nullptr;
  uint32_t count = 0;
  if (!certificate_set_open(&set)) {
    status = make_status(platform_last_error, kInvalidArgument, kSiteMessageOpen);
  } else if (!certificate_set_update(set, content, length)) {
    status = make_status(platform_last_error, kInvalidArgument, kSiteMessageUpdate);
  } else if (!certificate_set_count(set, &count)) {
    status = make_status(platform_last_error, kInvalidArgument, kSiteCertificateCount);
  } else {
    for (uint32_t i = 0; i < count && !status_failed(status); ++i) {
      status = walk_certificate(set, i, status);
    }
  }
  certificate_set_close(set);
  return status;
}

}  // namespace

Status read_signature_table(const uint8_t* image, uint32_t size) {
  Status status = status_of(0, kSiteSignatureTable);
  const uint8_t* content = nullptr;
  uint32_t length = 0;
  if (find_first_entry(image, size, &content, &length)) {
    status = walk_message(content, length, status);
  }
  return status;
}
