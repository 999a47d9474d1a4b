// The windows build cannot sign: it takes the test key's signatures of the fixture contents and
// of their zlib streams from record_vectors.inc, which the host build generates and checks.
#include <gtest/gtest.h>

#include <iterator>

#include "common/container_fixtures.h"

namespace fixtures {

namespace {

struct VectorSignature {
  const char* content;  // fixture content name
  bool over_stream;     // signed over the content's zlib stream instead of the content
  uint8_t signature[256];
};

#include "common/record_vectors.inc"

}  // namespace

Bytes public_key() { return Bytes(std::begin(kVectorPublicKey), std::end(kVectorPublicKey)); }

Bytes signature(const Bytes& bytes) {
  for (const VectorSignature& vector : kVectorSignatures) {
    Bytes signed_bytes = content(vector.content);
    if (vector.over_stream) signed_bytes = msiboot_test::zlib_stream(signed_bytes);
    if (signed_bytes == bytes) return Bytes(std::begin(vector.signature), std::end(vector.signature));
  }
  ADD_FAILURE() << "record_vectors.inc holds no signature of these " << bytes.size() << " bytes";
  return Bytes(256, 0);
}

// Local-heap blocks cannot be counted here; the host build checks that nothing stays allocated.
size_t live_heap_blocks() { return 0; }

}  // namespace fixtures
