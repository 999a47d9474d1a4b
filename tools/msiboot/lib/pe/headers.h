#pragma once
// The headers of a PE32+ image held in memory, at the offsets of payload/pe_layout.h, every read
// bounds-checked: where the NT headers lie, the data directories, the one walk of the section
// table, where the sections' raw data end, and the checksum. The image is read in place, so a
// large setup.exe is never copied.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace msiboot_tool {

struct PeSection {
  size_t header = 0;  // file offset of its section header
  uint32_t virtual_size = 0, va = 0, raw_size = 0, raw_offset = 0;
};

struct PeHeaders {
  uint32_t nt = 0;           // the NT headers
  size_t optional = 0;       // the optional header
  uint32_t directory_count = 0;
  std::vector<PeSection> sections;
};

// Offset of the NT headers of a PE32+ image whose optional header holds the data directories up
// to the certificate table's; throws ToolError when it is not one.
uint32_t pe32plus_headers(std::span<const uint8_t> image);

// The headers and the section table; throws ToolError like pe32plus_headers, or when the table
// lies outside the image.
PeHeaders read_pe_headers(std::span<const uint8_t> image);

// File offset of data directory index (its rva, then its size).
size_t data_directory_field(const PeHeaders& headers, uint32_t index);

// {rva, size} of a data directory; zero when the image has no such entry.
std::pair<uint32_t, uint32_t> data_directory(std::span<const uint8_t> image, const PeHeaders& headers,
                                             uint32_t index);

// True when the image has a certificate table (it is signed).
bool has_certificate_table(std::span<const uint8_t> image);

// Where the headers and the sections' raw data end: anything after that (outside a certificate
// table) is data appended to the image.
uint64_t sections_end(std::span<const uint8_t> image);

// The optional header's CheckSum, computed the way the platform's image loader computes it, over a
// file given piece by piece in order (every piece but the last of even length).
class PeChecksum {
 public:
  explicit PeChecksum(size_t checksum_field) : field_(checksum_field) {}
  void add(std::span<const uint8_t> piece);
  uint32_t value() const;

 private:
  size_t field_, length_ = 0;
  uint64_t sum_ = 0;
};

// File offset of the CheckSum field of a PE32+ image; throws like pe32plus_headers.
size_t pe_checksum_field(std::span<const uint8_t> image);

// Recomputes the optional header's CheckSum of an image held in memory.
void update_pe_checksum(std::vector<uint8_t>& image);

}  // namespace msiboot_tool
