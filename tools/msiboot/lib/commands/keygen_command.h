#pragma once
// msiboot keygen: makes a payload key pair.
#include <string>

namespace msiboot_tool {

struct KeygenOptions {
  std::string private_path;  // the private key file to create (PEM)
  std::string blob_path;     // the public-key blob file (276 bytes) to create
};

// Returns the process exit code: 0; 1 after one line on stderr when the pair cannot be written
// (then neither file is); 2 when a path is missing.
int keygen_command(const KeygenOptions& options);

}  // namespace msiboot_tool
