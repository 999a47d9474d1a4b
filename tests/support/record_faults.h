#pragma once
// Containers with faults laid in on purpose, for the tests of the reader: records stored or
// unsigned, signatures over the wrong bytes or of the wrong length, trailers whose lengths or
// type lie. Builds without a crypto library (the windows tests use it too).
#include <cstdint>
#include <vector>

#include "container_layout.h"

namespace msiboot_test {

using Bytes = std::vector<uint8_t>;

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
  Bytes content;
  RecordFault fault = RecordFault::None;
};

// The whole container with each record's fault laid in; records without one are written as the
// tool writes them.
Bytes lay_out_container(const std::vector<ContainerRecord>& records,
                        const msiboot_tool::ContentSigner& sign);

}  // namespace msiboot_test
