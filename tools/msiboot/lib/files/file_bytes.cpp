#include "files/file_bytes.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "files/tool_error.h"

namespace msiboot_tool {

std::vector<uint8_t> read_file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw ToolError(path, std::string("cannot read it (") + std::strerror(errno) + ")");
  std::streamoff size = in.tellg();
  if (size < 0) throw ToolError(path, "cannot read it");
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  if (!in) throw ToolError(path, "cannot read it");
  return bytes;
}

}  // namespace msiboot_tool
