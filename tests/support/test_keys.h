#pragma once
// The test keys under tests/keys (their private halves are public: for tests only) and containers
// signed with the test payload key.
#include <string>
#include <vector>

#include "container/signing_key.h"
#include "record_faults.h"

namespace msiboot_test {

// tests/keys in the source tree.
std::string test_keys_dir();

// tests/keys/test-payload-key.pem, the key whose public blob the test stub is built with.
std::string test_key_path();

// The key at test_key_path(), loaded once; throws when it cannot be read.
const msiboot_tool::SigningKey& test_signing_key();

// The container of the records, faults laid in, signed with key.
Bytes write_container(const std::vector<TestRecord>& records,
                      const msiboot_tool::SigningKey& key);

}  // namespace msiboot_test
