#pragma once
// The certificate table of a signed PE32+ file: where it is, and the two ways of carrying a
// container inside it without invalidating the Authenticode signature (whose hash leaves the
// table, the security directory entry and the checksum out).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pe/headers.h"

namespace msiboot_tool {

class OutputFile;

struct CertificateTable {
  uint32_t directory_field;  // file offset of the security data-directory entry
  uint32_t checksum_field;   // file offset of the optional header's CheckSum
  uint32_t offset;           // the table itself
  uint32_t size;
  uint32_t first_entry_length;  // dwLength of the first WIN_CERTIFICATE entry
};

// Where the CheckSum and the security directory entry of a PE32+ image held in memory lie, and the
// table offset and size that entry names, unchecked (first_entry_length stays 0); throws
// ToolError when it is not a PE32+ image.
CertificateTable read_certificate_directory(std::span<const uint8_t> image);

// Reads the headers of a signed PE32+ image; throws ToolError when it is not one, or
// when its table is not the last thing in the file.
CertificateTable locate_certificate_table(const std::vector<uint8_t>& image);

// Appends a container to the file inside the first entry, which then runs to the end of the file
// (the container's last byte is the file's), zero-padded in front to keep the entry a multiple of
// 8 bytes. The table must hold that one entry.
std::vector<uint8_t> append_in_certificate_entry(const std::vector<uint8_t>& signed_image,
                                                 const std::vector<uint8_t>& container);

// The same file streamed: the signed image is written at once, the container as it comes, and
// finish() moves what came forward by the padding (in bounded pieces, from its end) and writes
// the padding, the entry's length and the table's size. The checksum is left to the caller, to be
// written over the finished file.
class CertificateEntryStream {
 public:
  CertificateEntryStream(OutputFile& out, const std::vector<uint8_t>& signed_image);
  void write(const uint8_t* bytes, size_t length);
  // The file's size once finished.
  uint64_t finished_size() const;
  void finish();

 private:
  OutputFile& out_;
  CertificateTable table_;
  uint64_t image_size_;
  uint64_t container_size_ = 0;
};

}  // namespace msiboot_tool
