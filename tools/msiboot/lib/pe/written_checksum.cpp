#include "pe/written_checksum.h"

#include "files/byte_buffer.h"
#include "pe/headers.h"

namespace msiboot_tool {

void write_pe_checksum(OutputFile& out) {
  constexpr size_t kHeaders = 4096, kPiece = 1 << 20;  // the headers of the stub fit its first page
  Bytes piece(kPiece);
  piece.resize(out.read_back(0, piece.data(), kHeaders));
  const size_t field = pe_checksum_field(piece);
  PeChecksum checksum(field);
  piece.resize(kPiece);
  for (uint64_t offset = 0;;) {
    size_t n = out.read_back(offset, piece.data(), kPiece);
    checksum.add(std::span<const uint8_t>(piece.data(), n));
    offset += n;
    if (n < kPiece) break;
  }
  Bytes value;
  append_u32le(value, checksum.value());
  out.write_at(field, value.data(), value.size());
}

}  // namespace msiboot_tool
