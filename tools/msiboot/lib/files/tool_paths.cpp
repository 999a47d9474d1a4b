#include "files/tool_paths.h"

#include <filesystem>

#include "files/tool_error.h"

namespace msiboot_tool {

std::string installed_stub_path(const char* option) {
  std::error_code error;
  std::filesystem::path tool = std::filesystem::read_symlink("/proc/self/exe", error);
  std::filesystem::path stub = tool.parent_path().parent_path() / "share/msiboot/msiboot-stub.exe";
  if (error || !std::filesystem::is_regular_file(stub)) {
    throw ToolError(stub.string(), std::string("no stub installed beside the tool; name one with ") + option);
  }
  return stub.string();
}

}  // namespace msiboot_tool
