#pragma once
// The passphrase of an encrypted payload key, given as OpenSSL's commands take one, so that a CI
// job can use an encrypted key without a terminal: pass:TEXT, env:VARIABLE, file:PATH, fd:N
// or stdin (the first line of the file, descriptor or standard input).
#include <string>

namespace msiboot_tool {

// Throws ToolError naming the source when it has another form or cannot be read.
std::string read_passphrase(const std::string& source);

}  // namespace msiboot_tool
