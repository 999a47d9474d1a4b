#include "test_keys.h"

#include <stdexcept>

#ifndef MSIBOOT_SOURCE_DIR
#error "MSIBOOT_SOURCE_DIR names the source tree that holds tests/keys"
#endif

namespace msiboot_test {

std::string test_keys_dir() { return std::string(MSIBOOT_SOURCE_DIR) + "/tests/keys"; }

std::string test_key_path() { return test_keys_dir() + "/test-payload-key.pem"; }

const msiboot_tool::SigningKey& test_signing_key() {
  static const msiboot_tool::SigningKey key = [] {
    msiboot_tool::SigningKey loaded;
    if (!msiboot_tool::load_signing_key(test_key_path(), &loaded)) {
      throw std::runtime_error("cannot read " + test_key_path());
    }
    return loaded;
  }();
  return key;
}

Bytes write_container(const std::vector<TestRecord>& records,
                      const msiboot_tool::SigningKey& key) {
  return lay_out_container(records, [&key](const Bytes& bytes) {
    return msiboot_tool::sign_content(key, bytes);
  });
}

}  // namespace msiboot_test
