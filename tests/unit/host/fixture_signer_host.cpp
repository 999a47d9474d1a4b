// The host build signs the container fixtures with the test key itself.
#include "common/container_fixtures.h"
#include "platform/heap_test.h"
#include "test_keys.h"

namespace fixtures {

Bytes public_key() { return msiboot_tool::public_key_blob(msiboot_test::test_signing_key()); }

Bytes signature(const Bytes& bytes) {
  return msiboot_tool::sign_content(msiboot_test::test_signing_key(), bytes);
}

size_t live_heap_blocks() { return heap_test_live_blocks(); }

}  // namespace fixtures
