#pragma once
// Whole files as byte vectors.
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

// Throws std::runtime_error naming the file when it cannot be read or written.
std::vector<uint8_t> read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace msiboot_tool
