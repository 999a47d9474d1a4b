#pragma once
// Files the tests and benchmarks write for themselves (the tool writes through its output files).
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_test {

// Writes bytes to path, replacing what is there; throws std::runtime_error when it cannot.
void write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace msiboot_test
