#include "pe/headers.h"

#include <algorithm>

#include "files/byte_buffer.h"
#include "files/tool_error.h"
#include "payload/pe_layout.h"

namespace msiboot_tool {

using namespace pe_layout;

uint32_t pe32plus_headers(std::span<const uint8_t> image) {
  if (image.size() < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z') throw ToolError("not a PE image");
  uint32_t nt = get_u32le(image, kNtHeadersOffsetField);
  if (get_u32le(image, nt) != kPeSignature) throw ToolError("not a PE image");
  if (get_u16le(image, static_cast<size_t>(nt) + kOptionalHeader) != kPe32PlusMagic) {
    throw ToolError("not a PE32+ image");
  }
  // The whole optional header with its data directories must be there.
  get_u32le(image, static_cast<size_t>(nt) + kOptionalHeader + kSecurityDirectoryField + 4);
  return nt;
}

PeHeaders read_pe_headers(std::span<const uint8_t> image) {
  PeHeaders headers;
  headers.nt = pe32plus_headers(image);
  headers.optional = static_cast<size_t>(headers.nt) + kOptionalHeader;
  headers.directory_count = get_u32le(image, headers.optional + kDirectoryCountField);
  size_t table = headers.optional + get_u16le(image, headers.nt + kOptionalHeaderSizeField);
  for (size_t i = 0, count = get_u16le(image, headers.nt + kSectionCountField); i < count; ++i) {
    PeSection s;
    s.header = table + i * kSectionHeaderSize;
    s.virtual_size = get_u32le(image, s.header + kSectionVirtualSizeField);
    s.va = get_u32le(image, s.header + kSectionAddressField);
    s.raw_size = get_u32le(image, s.header + kSectionRawSizeField);
    s.raw_offset = get_u32le(image, s.header + kSectionRawOffsetField);
    headers.sections.push_back(s);
  }
  return headers;
}

size_t data_directory_field(const PeHeaders& headers, uint32_t index) {
  return headers.optional + kDirectoriesField + static_cast<size_t>(index) * kDirectorySize;
}

std::pair<uint32_t, uint32_t> data_directory(std::span<const uint8_t> image, const PeHeaders& headers,
                                             uint32_t index) {
  if (index >= headers.directory_count) return {0, 0};
  size_t field = data_directory_field(headers, index);
  return {get_u32le(image, field), get_u32le(image, field + 4)};
}

bool has_certificate_table(std::span<const uint8_t> image) {
  uint32_t nt = pe32plus_headers(image);
  return get_u32le(image, static_cast<size_t>(nt) + kOptionalHeader + kSecurityDirectoryField + 4) != 0;
}

uint64_t sections_end(std::span<const uint8_t> image) {
  PeHeaders headers = read_pe_headers(image);
  uint64_t end = get_u32le(image, headers.optional + kHeadersSizeField);
  for (const PeSection& s : headers.sections) end = std::max(end, uint64_t{s.raw_offset} + s.raw_size);
  return end;
}

void PeChecksum::add(std::span<const uint8_t> piece) {
  for (size_t i = 0; i < piece.size(); i += 2) {
    size_t at = length_ + i;
    if (at == field_ || at == field_ + 2) continue;
    uint32_t word = piece[i] | (i + 1 < piece.size() ? piece[i + 1] << 8 : 0);
    sum_ += word;
    sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
  }
  length_ += piece.size();
}

uint32_t PeChecksum::value() const {
  uint64_t sum = (sum_ & 0xFFFF) + (sum_ >> 16);
  return checked_u32(sum + length_, "image");
}

size_t pe_checksum_field(std::span<const uint8_t> image) {
  return static_cast<size_t>(pe32plus_headers(image)) + kOptionalHeader + kChecksumField;
}

void update_pe_checksum(std::vector<uint8_t>& image) {
  size_t field = pe_checksum_field(image);
  PeChecksum checksum(field);
  checksum.add(image);
  put_u32le(image, field, checksum.value());
}

}  // namespace msiboot_tool
