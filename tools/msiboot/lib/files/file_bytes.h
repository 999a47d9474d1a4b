#pragma once
// Whole input files as byte vectors (outputs go through output_file.h).
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

// Throws ToolError naming the file when it cannot be read.
std::vector<uint8_t> read_file_bytes(const std::string& path);

}  // namespace msiboot_tool
