#include "files/tool_error.h"

namespace msiboot_tool {

ToolError::ToolError(std::string reason, ErrorKind kind)
    : std::runtime_error(reason), kind_(kind), reason_(std::move(reason)) {}

ToolError::ToolError(std::string file, std::string reason, ErrorKind kind)
    : std::runtime_error(file.empty() ? reason : file + ": " + reason),
      kind_(kind),
      file_(std::move(file)),
      reason_(std::move(reason)) {}

const char* error_kind_name(ErrorKind kind) {
  return kind == ErrorKind::CommandLine ? "command line" : "file";
}

ToolError ToolError::about(const std::string& file) const {
  return file_.empty() ? ToolError(file, reason_, kind_) : *this;
}

}  // namespace msiboot_tool
