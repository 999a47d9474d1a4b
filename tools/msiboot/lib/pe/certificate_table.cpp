#include "pe/certificate_table.h"

#include <algorithm>

#include "files/byte_buffer.h"
#include "files/output_file.h"
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

namespace {

// The table of a signed image that can take a container in its one entry.
CertificateTable single_entry_table(const std::vector<uint8_t>& signed_image) {
  CertificateTable table = locate_certificate_table(signed_image);
  if (table.first_entry_length != table.size) {
    throw ToolError("the certificate table holds more than one entry");
  }
  return table;
}

// Zero bytes in front of the container (never read: the container is read from its end) keep
// the entry aligned, as signature checkers demand.
uint32_t entry_padding(uint64_t container_size) {
  return static_cast<uint32_t>((kWinCertificateAlignment - container_size % kWinCertificateAlignment) %
                               kWinCertificateAlignment);
}

}  // namespace

std::vector<uint8_t> append_in_certificate_entry(const std::vector<uint8_t>& signed_image,
                                                 const std::vector<uint8_t>& container) {
  CertificateTable table = single_entry_table(signed_image);
  size_t padding = entry_padding(container.size());
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

CertificateEntryStream::CertificateEntryStream(OutputFile& out, const std::vector<uint8_t>& signed_image)
    : out_(out), table_(single_entry_table(signed_image)), image_size_(signed_image.size()) {
  out_.write(signed_image);
}

void CertificateEntryStream::write(const uint8_t* bytes, size_t length) {
  out_.write(bytes, length);
  container_size_ += length;
}

uint64_t CertificateEntryStream::finished_size() const {
  return image_size_ + entry_padding(container_size_) + container_size_;
}

void CertificateEntryStream::finish() {
  const uint32_t padding = entry_padding(container_size_);
  const uint32_t grown = checked_u32(table_.size + padding + container_size_, "image");
  checked_u32(finished_size(), "image");
  if (padding != 0) {
    // From the end backwards, so that no piece is overwritten before it is read.
    std::vector<uint8_t> piece(std::min<uint64_t>(container_size_, 1u << 20));
    for (uint64_t end = container_size_; end > 0;) {
      const size_t length = static_cast<size_t>(std::min<uint64_t>(end, piece.size()));
      end -= length;
      if (out_.read_back(image_size_ + end, piece.data(), length) != length) {
        throw ToolError("the container written could not be read back");
      }
      out_.write_at(image_size_ + end + padding, piece.data(), length);
    }
    const std::vector<uint8_t> zeros(padding, 0);
    out_.write_at(image_size_, zeros.data(), zeros.size());
  }
  std::vector<uint8_t> length;
  append_u32le(length, grown);
  out_.write_at(table_.offset, length.data(), length.size());
  out_.write_at(table_.directory_field + 4, length.data(), length.size());
}

}  // namespace msiboot_tool
