#include "container/key_passphrase.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

// The first line of an open descriptor, without its line end.
std::string first_line(int fd, const std::string& source) {
  std::string line;
  char c = 0;
  for (;;) {
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ToolError("--key-pass " + source + ": cannot read it (" + std::strerror(errno) + ")");
    if (n == 0 || c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::string read_passphrase(const std::string& source) {
  size_t colon = source.find(':');
  std::string form = source.substr(0, colon == std::string::npos ? 0 : colon);
  std::string value = colon == std::string::npos ? "" : source.substr(colon + 1);
  if (source == "stdin") return first_line(STDIN_FILENO, source);
  if (form == "pass") return value;
  if (form == "env") {
    const char* text = std::getenv(value.c_str());
    if (text == nullptr) throw ToolError("--key-pass " + source + ": the variable is not set");
    return text;
  }
  if (form == "file") {
    FILE* file = std::fopen(value.c_str(), "r");
    if (file == nullptr) throw ToolError("--key-pass " + source + ": cannot read it (" + std::strerror(errno) + ")");
    std::string line = first_line(fileno(file), source);
    std::fclose(file);
    return line;
  }
  if (form == "fd") {
    char* end = nullptr;
    long fd = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || fd < 0 || fd > 65535) {
      throw ToolError("--key-pass " + source + ": not a file descriptor number");
    }
    return first_line(static_cast<int>(fd), source);
  }
  throw ToolError("--key-pass " + source + ": give pass:TEXT, env:VARIABLE, file:PATH, fd:N or stdin");
}

}  // namespace msiboot_tool
