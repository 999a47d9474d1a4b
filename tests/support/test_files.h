#pragma once
// Files the tests and benchmarks write for themselves (the tool writes through its output files).
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_test {

// Writes bytes to path, replacing what is there; throws std::runtime_error when it cannot.
void write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A new private folder in the temporary folder, named after name; throws std::runtime_error when
// it cannot be made.
std::string scratch_dir(const std::string& name);

}  // namespace msiboot_test
