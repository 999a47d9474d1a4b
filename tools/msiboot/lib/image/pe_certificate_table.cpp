#include "pe_certificate_table.h"

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "byte_buffer.h"
#include "payload/pe_layout.h"

namespace msiboot_tool {
namespace {

using namespace pe_layout;

constexpr uint32_t kChecksum = kOptionalHeader + kChecksumField;          // from the NT headers
constexpr uint32_t kSecurityField = kOptionalHeader + kSecurityDirectoryField;
constexpr uint32_t kEntryHeader = kWinCertificateHeader;
constexpr uint16_t kRevision2 = 0x0200;
constexpr uint16_t kPkcsSignedData = 0x0002;

struct Pkcs7Free {
  void operator()(PKCS7* message) const { PKCS7_free(message); }
};

std::vector<uint8_t> encode(PKCS7* message) {
  int length = i2d_PKCS7(message, nullptr);
  if (length <= 0) throw std::runtime_error("cannot encode the signature");
  std::vector<uint8_t> der(static_cast<size_t>(length));
  unsigned char* cursor = der.data();
  i2d_PKCS7(message, &cursor);
  return der;
}

// The signature with the extra certificates in its set, re-encoded.
std::vector<uint8_t> signature_with(const uint8_t* message_bytes, size_t length,
                                    const std::vector<std::vector<uint8_t>>& certificates) {
  const unsigned char* cursor = message_bytes;
  std::unique_ptr<PKCS7, Pkcs7Free> message(d2i_PKCS7(nullptr, &cursor, static_cast<long>(length)));
  if (!message || !PKCS7_type_is_signed(message.get())) {
    throw std::runtime_error("the certificate table holds no PKCS#7 signed message");
  }
  for (size_t i = static_cast<size_t>(cursor - message_bytes); i < length; ++i) {
    if (message_bytes[i] != 0) throw std::runtime_error("the signature entry holds data after it");
  }
  for (const std::vector<uint8_t>& der : certificates) {
    const unsigned char* p = der.data();
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (certificate == nullptr) throw std::runtime_error("not a DER certificate");
    int added = PKCS7_add_certificate(message.get(), certificate);
    X509_free(certificate);  // the message holds its own reference
    if (added != 1) throw std::runtime_error("cannot add a certificate to the signature");
  }
  return encode(message.get());
}

}  // namespace

uint32_t pe32plus_headers(std::span<const uint8_t> image) {
  if (image.size() < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z') {
    throw std::runtime_error("not a PE image");
  }
  uint32_t nt = get_u32le(image, kNtHeadersOffsetField);
  if (get_u32le(image, nt) != kPeSignature) throw std::runtime_error("not a PE image");
  uint32_t magic = get_u32le(image, static_cast<size_t>(nt) + kOptionalHeader) & 0xFFFF;
  if (magic != kPe32PlusMagic) throw std::runtime_error("not a PE32+ image");
  // The whole optional header with its data directories must be there.
  get_u32le(image, static_cast<size_t>(nt) + kSecurityField + 4);
  return nt;
}

bool has_certificate_table(std::span<const uint8_t> image) {
  uint32_t nt = pe32plus_headers(image);
  return get_u32le(image, static_cast<size_t>(nt) + kSecurityField + 4) != 0;
}

uint64_t sections_end(std::span<const uint8_t> image) {
  uint32_t nt = pe32plus_headers(image);
  uint32_t section_count = get_u32le(image, static_cast<size_t>(nt) + kSectionCountField) & 0xFFFF;
  uint32_t optional_size = get_u32le(image, static_cast<size_t>(nt) + kOptionalHeaderSizeField) & 0xFFFF;
  size_t sections = static_cast<size_t>(nt) + kOptionalHeader + optional_size;
  uint64_t end = get_u32le(image, static_cast<size_t>(nt) + kOptionalHeader + kHeadersSizeField);
  for (uint32_t i = 0; i < section_count; ++i) {
    size_t header = sections + static_cast<size_t>(i) * kSectionHeaderSize;
    uint64_t raw_end = static_cast<uint64_t>(get_u32le(image, header + kSectionRawOffsetField)) +
                       get_u32le(image, header + kSectionRawSizeField);
    end = std::max(end, raw_end);
  }
  return end;
}

CertificateTable read_certificate_directory(std::span<const uint8_t> image) {
  uint32_t nt = pe32plus_headers(image);
  CertificateTable table{};
  table.directory_field = nt + kSecurityField;
  table.checksum_field = nt + kChecksum;
  table.offset = get_u32le(image, table.directory_field);
  table.size = get_u32le(image, static_cast<size_t>(table.directory_field) + 4);
  return table;
}

CertificateTable locate_certificate_table(const std::vector<uint8_t>& image) {
  CertificateTable table = read_certificate_directory(image);
  if (table.size < kEntryHeader) throw std::runtime_error("the image is not signed");
  if (static_cast<uint64_t>(table.offset) + table.size != image.size()) {
    throw std::runtime_error("the certificate table is not at the end of the image");
  }
  table.first_entry_length = get_u32le(image, table.offset);
  if (table.first_entry_length < kEntryHeader || table.first_entry_length > table.size) {
    throw std::runtime_error("the first certificate entry does not fit its table");
  }
  return table;
}

std::vector<uint8_t> add_signature_certificates(
    const std::vector<uint8_t>& signed_image,
    const std::vector<std::vector<uint8_t>>& certificates) {
  CertificateTable table = locate_certificate_table(signed_image);
  std::vector<uint8_t> der = signature_with(signed_image.data() + table.offset + kEntryHeader,
                                            table.first_entry_length - kEntryHeader, certificates);
  // The entry is padded to 8 bytes, its length counting the padding; later entries follow it.
  size_t entry_length = (kEntryHeader + der.size() + 7) & ~static_cast<size_t>(7);
  std::vector<uint8_t> image(signed_image.begin(), signed_image.begin() + table.offset);
  size_t entry = image.size();
  image.resize(entry + entry_length, 0);
  put_u32le(image, entry, checked_u32(entry_length, "image"));
  image[entry + 4] = kRevision2 & 0xFF;
  image[entry + 5] = kRevision2 >> 8;
  image[entry + 6] = kPkcsSignedData;
  image[entry + 7] = 0;
  std::copy(der.begin(), der.end(), image.begin() + entry + kEntryHeader);
  image.insert(image.end(), signed_image.begin() + table.offset + table.first_entry_length,
               signed_image.end());
  put_u32le(image, table.directory_field + 4, checked_u32(image.size() - table.offset, "image"));
  update_pe_checksum(image);
  return image;
}

std::vector<uint8_t> append_in_certificate_entry(const std::vector<uint8_t>& signed_image,
                                                 const std::vector<uint8_t>& container) {
  CertificateTable table = locate_certificate_table(signed_image);
  if (table.first_entry_length != table.size) {
    throw std::runtime_error("the certificate table holds more than one entry");
  }
  // Zero bytes in front of the container (never read: the container is read from its end) keep
  // the entry a multiple of 8 bytes long, as signature checkers demand.
  size_t padding = (8 - container.size() % 8) % 8;
  std::vector<uint8_t> image = signed_image;
  image.resize(image.size() + padding, 0);
  image.insert(image.end(), container.begin(), container.end());
  uint32_t grown = checked_u32(static_cast<size_t>(table.size) + padding + container.size(), "image");
  checked_u32(image.size(), "image");
  put_u32le(image, table.offset, grown);
  put_u32le(image, table.directory_field + 4, grown);
  update_pe_checksum(image);
  return image;
}

void update_pe_checksum(std::vector<uint8_t>& image) {
  size_t field = static_cast<size_t>(pe32plus_headers(image)) + kChecksum;
  uint64_t sum = 0;
  for (size_t i = 0; i < image.size(); i += 2) {
    if (i == field || i == field + 2) continue;
    uint32_t word = image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  put_u32le(image, field, checked_u32(sum + image.size(), "image"));
}

}  // namespace msiboot_tool
