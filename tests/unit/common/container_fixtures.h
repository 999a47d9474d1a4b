#pragma once
// Containers for the payload tests, laid out by the test support's record writer and signed
// with the test key. The host build signs with the private key; the windows build, which has no
// signing library, reads the same signatures from the host build's files.
#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_blob.h"
#include "record_faults.h"
#include "test_bytes.h"

namespace fixtures {

using msiboot_test::TestRecord;
using msiboot_test::RecordFault;

// The contents the tests sign, by name: "manifest" (a few hundred bytes), "package" (6000
// compressible bytes), "cabinet" (1200 pseudo-random bytes) and "empty".
Bytes content(const std::string& name);
const std::vector<std::string>& content_names();

// The test key's 276-byte PUBLICKEYBLOB.
Bytes public_key();

// The test key's signature of the bytes; the windows build knows only the fixture contents and
// their zlib streams, and fails the test for anything else.
Bytes signature(const Bytes& bytes);

Bytes container(const std::vector<TestRecord>& records);

// Local-heap blocks allocated and not freed (host build; always 0 in the windows build).
size_t live_heap_blocks();

inline TestRecord manifest_record(RecordFault fault = RecordFault::None) {
  return {true, 0, content("manifest"), fault};
}
inline TestRecord file_record(uint32_t id, const std::string& name,
                                   RecordFault fault = RecordFault::None) {
  return {false, id, content(name), fault};
}

// A blob over the bytes (not owned: tests keep the vector alive).
inline PayloadBlob blob_of(Bytes& bytes, uint32_t flags) {
  PayloadBlob blob = {};
  blob.data = bytes.data();
  blob.size = static_cast<uint32_t>(bytes.size());
  blob.flags = flags;
  return blob;
}

}  // namespace fixtures
