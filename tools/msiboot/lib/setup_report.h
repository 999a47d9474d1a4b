#pragma once
// msiboot inspect and msiboot extract: what a setup.exe carries, and the files its stub would
// write for a locale, both read by the stub's own code.
#include <cstdint>
#include <string>

namespace msiboot_tool {

struct InspectOptions {
  std::string setup;
  std::string public_key;  // a PUBLICKEYBLOB file; empty: the key stamped into the setup.exe
  uint32_t lcid = 1033;
  bool json = false;
};

// Prints the report on stdout. Returns 0 when the stub would install a package for the locale,
// 1 (after one line on stderr) when it would fail. Throws std::runtime_error when the file cannot
// be read.
int inspect_command(const InspectOptions& options);

struct ExtractOptions {
  std::string setup;
  uint32_t lcid = 1033;
  std::string output;  // a folder that must not exist yet, or be empty
};

// Writes main.msi and its cabinets into the folder after the stub's own verification; throws
// std::runtime_error (one line naming the file) on failure, leaving no folder behind.
void extract_command(const ExtractOptions& options);

}  // namespace msiboot_tool
