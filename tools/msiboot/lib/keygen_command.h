#pragma once
// msiboot keygen: makes a payload key pair.
#include <string>
#include <vector>

namespace msiboot_tool {

// args: the private key file to create (PEM) and the public-key blob file (276 bytes) to build
// the stub with. Returns the process exit code: 0, 1 on failure, 2 for wrong arguments.
int keygen_command(const std::vector<std::string>& args);

}  // namespace msiboot_tool
