#pragma once
// msiboot extract: the files a setup.exe's stub would write for a locale, after its own
// verification.
#include <cstdint>
#include <string>

namespace msiboot_tool {

struct ExtractOptions {
  std::string setup;
  uint32_t lcid = 1033;
  std::string output;  // a folder that must not exist yet, or be empty
};

// Writes main.msi and its cabinets into the folder; throws ToolError (one line naming the
// file) on failure, leaving no folder behind.
void extract_command(const ExtractOptions& options);

}  // namespace msiboot_tool
