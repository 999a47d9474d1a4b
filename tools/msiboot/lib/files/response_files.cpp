#include "files/response_files.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

constexpr int kDepth = 8;

void expand(const std::vector<std::string>& arguments, int depth, std::vector<std::string>& out) {
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || argument[0] != '@') {
      out.push_back(argument);
      continue;
    }
    const std::string path = argument.substr(1);
    if (depth == kDepth) throw ToolError(path, "response files nested too deep (do they name each other?)");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ToolError(path, std::string("cannot read the response file (") + std::strerror(errno) + ")");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(line);
    }
    if (file.bad()) throw ToolError(path, "cannot read the response file");
    expand(lines, depth + 1, out);
  }
}

}  // namespace

std::vector<std::string> expand_response_files(const std::vector<std::string>& arguments) {
  std::vector<std::string> out;
  expand(arguments, 0, out);
  return out;
}

}  // namespace msiboot_tool
