#include "payload/signature_table.h"

#include <string.h>

#include "payload/container.h"
#include "payload/pe_layout.h"
#include "platform/certificate_set.h"
#include "platform/error_codes.h"
#include "platform/heap.h"
#include "shared/byte_reader.h"

const char PayloadExtensionOid[] =
    "1.2.840.113556.1.8000.2554.2951.50896.53846.17503.37240.13145692.12219546";

uint32_t check_certificate_table(const uint8_t* image, uint64_t size, uint64_t offset, uint32_t table_size,
                                 uint32_t* entry_length) {
  using pe_layout::kWinCertificateHeader;
  if (table_size < kWinCertificateHeader) return kCertificateTableTooShort;
  if (offset + table_size > size) return kCertificateTablePastEnd;
  // An entry shorter than its own header or longer than the table cannot be decoded.
  uint32_t length = read_u32le(image + offset);
  if (length < kWinCertificateHeader || length > table_size) return kCertificateEntryOutside;
  *entry_length = length;
  return kCertificateTableUsable;
}

// Sums are taken in 64 bits so that no header value can wrap a bound.
bool find_signature_entry(const uint8_t* image, uint32_t size, const uint8_t** content,
                          uint32_t* length) {
  using namespace pe_layout;
  constexpr uint32_t kSecurityOffsetField = kOptionalHeader + kSecurityDirectoryField;
  if (size < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z') return false;
  uint64_t nt = read_u32le(image + kNtHeadersOffsetField);
  if (nt + kNtHeadersSize > size) return false;
  const uint8_t* headers = image + nt;
  if (read_u32le(headers) != kPeSignature) return false;
  if (read_u16le(headers + kOptionalHeader) != kPe32PlusMagic) return false;
  uint64_t table_offset = read_u32le(headers + kSecurityOffsetField);
  uint32_t table_size = read_u32le(headers + kSecurityOffsetField + 4);
  uint32_t entry_length = 0;
  if (check_certificate_table(image, size, table_offset, table_size, &entry_length) != kCertificateTableUsable) {
    return false;
  }
  *content = image + table_offset + kWinCertificateHeader;
  *length = entry_length - kWinCertificateHeader;
  return true;
}

namespace {

// True for the payload extension: the payload identifier, not critical.
bool is_carrier_extension(const CertificateExtension& extension) {
  return !extension.critical && extension.identifier != nullptr &&
         strcmp(extension.identifier, PayloadExtensionOid) == 0;
}

// The walk's visitor and where it is.
struct CarrierWalk {
  CarrierVisitor visit;
  void* context;
  uint32_t certificate;
};

Status walk_extensions(CarrierWalk& walk, ParsedCertificate* certificate, Status status) {
  uint32_t count = certificate_extension_count(certificate);
  for (uint32_t i = 0; i < count && !status_failed(status); ++i) {
    CertificateExtension extension = {};
    certificate_extension(certificate, i, &extension);
    if (is_carrier_extension(extension)) {
      status = walk.visit(Carrier{walk.certificate, i, extension.value, extension.length}, walk.context);
    }
  }
  return status;
}

Status walk_certificate(CarrierWalk& walk, CertificateSet* set, Status status) {
  uint32_t size = 0;
  uint8_t* encoded = nullptr;
  ParsedCertificate* certificate = nullptr;
  uint32_t index = walk.certificate;
  if (!certificate_set_encoded_size(set, index, &size)) {
    status = last_error_status(kErrorInvalidArgument, kSiteCertificateSize);
  } else if ((encoded = static_cast<uint8_t*>(heap_alloc(kHeapFixed, size))) == nullptr) {
    status = last_error_status(kErrorNotEnoughMemory, kSiteCertificateMemory);
  } else if (!certificate_set_encoded(set, index, encoded, size)) {
    status = last_error_status(kErrorInvalidArgument, kSiteCertificateFetch);
  } else if (!certificate_parse(encoded, size, &certificate)) {
    status = last_error_status(kErrorInvalidArgument, kSiteCertificateParse);
  } else {
    status = walk_extensions(walk, certificate, status);
  }
  certificate_free(certificate);
  heap_free(encoded);
  return status;
}

Status walk_message(CarrierWalk& walk, const uint8_t* content, uint32_t length, Status status) {
  CertificateSet* set = nullptr;
  uint32_t count = 0;
  if (!certificate_set_open(&set)) {
    status = last_error_status(kErrorInvalidArgument, kSiteMessageOpen);
  } else if (!certificate_set_update(set, content, length)) {
    status = last_error_status(kErrorInvalidArgument, kSiteMessageUpdate);
  } else if (!certificate_set_count(set, &count)) {
    status = last_error_status(kErrorInvalidArgument, kSiteCertificateCount);
  } else {
    for (walk.certificate = 0; walk.certificate < count && !status_failed(status); ++walk.certificate) {
      status = walk_certificate(walk, set, status);
    }
  }
  certificate_set_close(set);
  return status;
}

Status add_carrier(const Carrier& carrier, void* context) {
  return copy_container(*static_cast<PayloadSet*>(context), carrier.value, carrier.length,
                            kSiteCarrierMemory, kSiteCarrierAppend);
}

}  // namespace

Status walk_carriers(const uint8_t* image, uint32_t size, CarrierVisitor visit, void* context) {
  Status status = status_of(0, kSiteSignatureTable);
  const uint8_t* content = nullptr;
  uint32_t length = 0;
  if (find_signature_entry(image, size, &content, &length)) {
    CarrierWalk walk = {visit, context, 0};
    status = walk_message(walk, content, length, status);
  }
  return status;
}

Status read_signature_table(PayloadSet& set, const uint8_t* image, uint32_t size) {
  return walk_carriers(image, size, add_carrier, &set);
}
