#include "files/warnings.h"

#include <cstdio>

#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

bool strict_warnings = false;

}  // namespace

void set_strict_warnings(bool strict) { strict_warnings = strict; }

void warn(const std::string& command, const std::string& text) {
  if (strict_warnings) throw ToolError(text + " (a warning; --strict makes it an error)");
  std::fprintf(stderr, "msiboot %s: warning: %s\n", command.c_str(), text.c_str());
}

}  // namespace msiboot_tool
