#include "container/manifest_fields.h"

#include <stdexcept>

#include "container/manifest_writer.h"
#include "files/tool_error.h"
#include "files/utf16_text.h"
#include "payload/manifest_entry.h"
#include "payload/plain_file_name.h"
#include "shared/title_units.h"

namespace msiboot_tool {
namespace {

// UTF-8 bytes of text that make up its first units UTF-16 units.
size_t utf8_prefix(const std::string& text, size_t units) {
  size_t i = 0;
  for (size_t used = 0; i < text.size();) {
    auto lead = static_cast<uint8_t>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    used += length == 4 ? 2 : 1;
    if (used > units) break;
    i += length;
  }
  return i;
}

}  // namespace

void check_manifest_field(const std::string& what, const std::string& value) {
  if (value.empty()) throw ToolError(what + " is empty");
  if (value.find(kManifestSeparator) != std::string::npos) {
    throw ToolError(what + " \"" + value + "\" holds a backslash, which the manifest cannot carry");
  }
  std::vector<uint8_t> units;
  try {
    units = utf16le(value, false);
  } catch (const ToolError&) {
    throw ToolError(what + " is not UTF-8 text");
  }
  uint32_t length = field_utf8_length(ManifestUnits{units.data(), static_cast<uint32_t>(units.size() / 2)},
                                      UINT32_MAX);
  if (length > kManifestFieldBytes) {
    throw ToolError(what + " is " + std::to_string(length) + " bytes long (in UTF-8, the longest spelling a Windows " +
                    "code page gives it), more than the " + std::to_string(kManifestFieldBytes) +
                    " bytes the stub reads in a field");
  }
}

bool is_plain_file_name(const std::string& name) {
  std::vector<uint8_t> units;
  try {
    units = utf16le(name, false);
  } catch (const ToolError&) {
    return false;  // not UTF-8: it would reach the stub garbled
  }
  return ::is_plain_file_name(ManifestUnits{units.data(), static_cast<uint32_t>(units.size() / 2)});
}

std::string title_as_shown(const std::string& title) {
  std::vector<uint8_t> bytes = utf16le(title, false);
  std::vector<uint16_t> units(bytes.size() / 2);
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  size_t kept = cut_to_units(units.data(), units.size(), kTemplateTextUnits);
  return title.substr(0, utf8_prefix(title, kept));
}

}  // namespace msiboot_tool
