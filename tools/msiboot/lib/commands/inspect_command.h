#pragma once
// msiboot inspect: what a setup.exe carries, read by the stub's own code, and what needs the
// publisher.
#include "inspect/model.h"

namespace msiboot_tool {

struct InspectOptions : InspectRequest {
  bool json = false;
  bool strict = false;  // a warning needs the publisher too
};

// Prints the report on stdout. Returns 0 when nothing needs the publisher, 1 (after one line on
// stderr) when something does. Throws ToolError naming the file when it cannot be read, after
// printing the JSON error document when JSON was asked for.
int inspect_command(const InspectOptions& options);

}  // namespace msiboot_tool
