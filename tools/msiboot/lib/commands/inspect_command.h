#pragma once
// msiboot inspect: what a setup.exe carries, read by the stub's own code.
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

}  // namespace msiboot_tool
