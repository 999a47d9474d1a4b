#pragma once
// Lays payload containers out byte for byte: each record's data field (a zlib stream of its
// content, level 9), its signature field and its 28-byte trailer, in the order given. Signing is
// left to a callback so that this part builds without a crypto library; tests also use it to
// write broken containers on purpose.
#include <cstdint>
#include <functional>
#include <vector>

namespace msiboot_tool {

enum class RecordFault {
  None,
  WrongDataLength,           // the trailer claims one data byte more than was written
  WrongSignatureLength,      // the trailer claims one signature byte more than was written
  DataLengthPastStart,       // the data length runs past the start of the container
  SignatureLengthPastStart,  // the signature length runs past the start of the container
  ForeignTrailerType,        // the trailer's type is neither record type
  Unsigned,                  // no signature field (signature length 0)
  SignatureOverCompressed,   // signed over the stored zlib stream instead of the content
  Signature255,              // the signature without its last byte
  Signature257,              // the signature after an extra leading zero byte
  TamperedContent,           // signed over the content, but the stored content has a byte changed
  Stored,                    // the content stored as it is, not compressed
  StoredUnsigned,            // stored as it is and no signature field
  DataInSignature,           // data length 0, the content held in the signature field
  TruncatedStream,           // the zlib stream without its last byte
  TrailingBytes,             // three bytes after the end of the zlib stream, inside the data field
};

struct ContainerRecord {
  bool manifest = false;  // manifest record type, else file record type
  uint32_t id = 0;
  std::vector<uint8_t> content;
  RecordFault fault = RecordFault::None;
};

// Returns the signature of the given bytes (256 bytes for the RSA-2048 payload key).
using ContentSigner = std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)>;

// zlib stream (RFC 1950) of the bytes at level 9: it starts 78 DA.
std::vector<uint8_t> zlib_compress(const std::vector<uint8_t>& bytes);

// The whole container; the same records and signer give the same bytes.
std::vector<uint8_t> lay_out_container(const std::vector<ContainerRecord>& records,
                                       const ContentSigner& sign);

}  // namespace msiboot_tool
