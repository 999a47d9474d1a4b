#include "pe/certificate_table.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "files/byte_buffer.h"
#include "files/tool_error.h"
#include "payload/pe_layout.h"

namespace msiboot_tool {
namespace {

using namespace pe_layout;

constexpr uint32_t kChecksum = kOptionalHeader + kChecksumField;          // from the NT headers
constexpr uint32_t kSecurityField = kOptionalHeader + kSecurityDirectoryField;
constexpr uint32_t kEntryHeader = kWinCertificateHeader;

}  // namespace

uint32_t pe32plus_headers(std::span<const uint8_t> image) {
  if (image.size() < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z') {
    throw ToolError("not a PE image");
  }
  uint32_t nt = get_u32le(image, kNtHeadersOffsetField);
  if (get_u32le(image, nt) != kPeSignature) throw ToolError("not a PE image");
  uint32_t magic = get_u32le(image, static_cast<size_t>(nt) + kOptionalHeader) & 0xFFFF;
  if (magic != kPe32PlusMagic) throw ToolError("not a PE32+ image");
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
  if (table.size < kEntryHeader) throw ToolError("the image is not signed");
  if (static_cast<uint64_t>(table.offset) + table.size != image.size()) {
    throw ToolError("the certificate table is not at the end of the image");
  }
  table.first_entry_length = get_u32le(image, table.offset);
  if (table.first_entry_length < kEntryHeader || table.first_entry_length > table.size) {
    throw ToolError("the first certificate entry does not fit its table");
  }
  return table;
}

std::vector<uint8_t> append_in_certificate_entry(const std::vector<uint8_t>& signed_image,
                                                 const std::vector<uint8_t>& container) {
  CertificateTable table = locate_certificate_table(signed_image);
  if (table.first_entry_length != table.size) {
    throw ToolError("the certificate table holds more than one entry");
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
