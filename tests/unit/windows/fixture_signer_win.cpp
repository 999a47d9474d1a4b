// The windows build cannot sign: it reads the test key's public blob and its signatures of the
// fixture contents and of their zlib streams, which the host build writes (msiboot-record-vectors).
#include <gtest/gtest.h>

#include <cstdio>

#include "common/container_fixtures.h"

namespace fixtures {

namespace {

Bytes vector_file(const std::string& name) {
  const std::string path = std::string(MSIBOOT_RECORD_VECTORS) + "/" + name;
  Bytes bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr) << "missing " << path << ": build the host tree first";
  for (int c; file != nullptr && (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
  if (file != nullptr) std::fclose(file);
  return bytes;
}

}  // namespace

Bytes public_key() {
  static const Bytes key = vector_file("public-key.blob");
  return key;
}

Bytes signature(const Bytes& bytes) {
  for (const std::string& name : content_names()) {
    if (content(name) == bytes) return vector_file(name + ".sig");
    if (msiboot_test::zlib_stream(content(name)) == bytes) return vector_file(name + ".stream.sig");
  }
  ADD_FAILURE() << "no signature of the fixture contents is these " << bytes.size() << " bytes";
  return Bytes(256, 0);
}

// Local-heap blocks cannot be counted here; the host build checks that nothing stays allocated.
size_t live_heap_blocks() { return 0; }

}  // namespace fixtures
