#pragma once
// A command's warnings: said on stderr, or, when the command is strict, its failure (one error
// line, nothing written).
#include <string>

namespace msiboot_tool {

void set_strict_warnings(bool strict);

// "msiboot COMMAND: warning: TEXT" on stderr; when strict, throws ToolError with text instead.
void warn(const std::string& command, const std::string& text);

}  // namespace msiboot_tool
