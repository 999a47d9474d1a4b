// The host build signs the container fixtures with the test key itself.
#include <stdexcept>

#include "common/container_fixtures.h"
#include "container_writer.h"
#include "platform/heap_test.h"

namespace fixtures {

namespace {

const msiboot_tool::SigningKey& test_key() {
  static const msiboot_tool::SigningKey key = [] {
    msiboot_tool::SigningKey loaded;
    if (!msiboot_tool::load_signing_key(msiboot_tool::test_key_path(), &loaded)) {
      throw std::runtime_error("cannot read " + msiboot_tool::test_key_path());
    }
    return loaded;
  }();
  return key;
}

}  // namespace

Bytes public_key() { return msiboot_tool::public_key_blob(test_key()); }

Bytes signature(const Bytes& bytes) { return msiboot_tool::sign_content(test_key(), bytes); }

size_t live_heap_blocks() { return heap_test_live_blocks(); }

}  // namespace fixtures
