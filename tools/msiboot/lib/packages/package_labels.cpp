#include "packages/package_labels.h"

#include "files/tool_error.h"

namespace msiboot_tool {

std::string architecture_of_platform(const std::string& platform) {
  if (platform == "x64" || platform == "AMD64") return "x64";
  if (platform.empty() || platform == "Intel") return "Intel";
  return platform;
}

std::vector<uint32_t> parse_languages(const std::string& list, bool neutral_allowed) {
  std::vector<uint32_t> languages;
  size_t start = 0;
  for (;;) {
    size_t end = list.find_first_of(";,", start);
    std::string item = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool digits = !item.empty() && item.size() <= 5 && item.find_first_not_of("0123456789") == std::string::npos;
    uint32_t value = digits ? static_cast<uint32_t>(std::stoul(item)) : 0;
    if (!digits || value > 65535 || (value == kNeutralLanguage && !neutral_allowed)) {
      throw ToolError("\"" + item + "\" is not a language identifier (a number from 1 to 65535)");
    }
    languages.push_back(value);
    if (end == std::string::npos) return languages;
    start = end + 1;
  }
}

std::string join_languages(const std::vector<uint32_t>& languages) {
  std::string text;
  for (uint32_t language : languages) text += (text.empty() ? "" : ";") + std::to_string(language);
  return text;
}

}  // namespace msiboot_tool
