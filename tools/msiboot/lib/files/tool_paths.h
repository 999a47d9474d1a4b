#pragma once
// Where the installed tool finds its stub: share/msiboot/msiboot-stub.exe beside the bin/ folder
// that holds the tool, wherever the two were installed or unpacked.
#include <string>

namespace msiboot_tool {

// Throws ToolError naming the expected path when no stub is there.
std::string installed_stub_path(const char* option = "--stub");

}  // namespace msiboot_tool
