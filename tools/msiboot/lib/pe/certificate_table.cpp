#include "pe/certificate_table.h"

#include "files/byte_buffer.h"
#include "files/tool_error.h"
#include "payload/pe_layout.h"
#include "payload/signature_table.h"

namespace msiboot_tool {

using namespace pe_layout;

CertificateTable read_certificate_directory(std::span<const uint8_t> image) {
  uint32_t nt = pe32plus_headers(image);
  CertificateTable table{};
  table.directory_field = nt + kOptionalHeader + kSecurityDirectoryField;
  table.checksum_field = nt + kOptionalHeader + kChecksumField;
  table.offset = get_u32le(image, table.directory_field);
  table.size = get_u32le(image, static_cast<size_t>(table.directory_field) + 4);
  return table;
}

CertificateTable locate_certificate_table(const std::vector<uint8_t>& image) {
  CertificateTable table = read_certificate_directory(image);
  uint32_t state = check_certificate_table(image.data(), image.size(), table.offset, table.size, &table.first_entry_length);
  if (state == kCertificateTableTooShort) throw ToolError("the image is not signed");
  if (static_cast<uint64_t>(table.offset) + table.size != image.size()) {
    throw ToolError("the certificate table is not at the end of the image");
  }
  if (state != kCertificateTableUsable) throw ToolError("the first certificate entry does not fit its table");
  return table;
}

std::vector<uint8_t> append_in_certificate_entry(const std::vector<uint8_t>& signed_image,
                                                 const std::vector<uint8_t>& container) {
  CertificateTable table = locate_certificate_table(signed_image);
  if (table.first_entry_length != table.size) {
    throw ToolError("the certificate table holds more than one entry");
  }
  // Zero bytes in front of the container (never read: the container is read from its end) keep
  // the entry aligned, as signature checkers demand.
  size_t padding = (kWinCertificateAlignment - container.size() % kWinCertificateAlignment) % kWinCertificateAlignment;
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

}  // namespace msiboot_tool
