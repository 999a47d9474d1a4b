#pragma once
// The tests' one container builder: records written by the tool's own record writer (its zlib
// streams, its signatures), with faults laid in on purpose for the tests of the reader: records
// stored or unsigned, signatures over the wrong bytes or of the wrong length, trailers whose
// lengths or type lie. Builds without a crypto library (the windows tests use it too).
#include <cstdint>
#include <utility>
#include <vector>

#include "container/layout.h"
#include "test_bytes.h"

namespace msiboot_test {

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

// A record as the tool writes it, and the fault laid into it.
struct TestRecord : msiboot_tool::ContainerRecord {
  TestRecord(bool manifest, uint32_t id, Bytes content, RecordFault fault = RecordFault::None)
      : ContainerRecord{manifest, id, std::move(content)}, fault(fault) {}
  RecordFault fault;
};

// The whole container with each record's fault laid in; records without one are laid out as the
// tool lays them out, their streams those of zlib_stream.
Bytes lay_out_container(const std::vector<TestRecord>& records, const msiboot_tool::ContentSigner& sign);

// The zlib stream of a record's bytes: zlib_compress's, which the host and the windows builds of
// the tests write alike (the tool's own streams, deflated in pieces, are the tool's tests' concern).
Bytes zlib_stream(const Bytes& bytes);

// A plain zlib stream of the bytes, as zlib's own compress2 writes it at level 9: a stream from
// another writer than the tool's, which the stub must inflate as well.
Bytes zlib_compress(const Bytes& bytes);

}  // namespace msiboot_test
