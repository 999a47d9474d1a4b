#pragma once
// msiboot inspect: what a setup.exe carries, read by the stub's own code, and what needs the
// publisher.
#include <cstdint>
#include <optional>
#include <string>

namespace msiboot_tool {

struct InspectOptions {
  std::string setup;
  std::string public_key;        // a PUBLICKEYBLOB file; empty: the key stamped into the setup.exe
  std::optional<uint32_t> lcid;  // one locale to choose for; none: every kind of locale
  std::string ca_file;  // the CA the Authenticode signature must chain to; empty: the system's store
  std::string stub;     // the released stub to compare with; empty: the one installed beside the tool
  bool json = false;
};

// Prints the report on stdout. Returns 0 when nothing needs the publisher, 1 (after one line on
// stderr) when something does. Throws std::runtime_error naming the file when it cannot be read,
// after printing the JSON error document when JSON was asked for.
int inspect_command(const InspectOptions& options);

}  // namespace msiboot_tool
