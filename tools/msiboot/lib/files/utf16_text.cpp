#include "files/utf16_text.h"

#include <stdexcept>

#include "files/byte_buffer.h"
#include "platform/text.h"
#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

// Decodes the UTF-8 sequence at text[i] and advances i past it.
uint32_t next_code_point(const std::string& text, size_t& i) {
  auto lead = static_cast<uint8_t>(text[i]);
  size_t extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 4;
  if (extra == 4 || text.size() - i <= extra) throw ToolError("not UTF-8 text");
  uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    auto next = static_cast<uint8_t>(text[i + k]);
    if ((next & 0xC0) != 0x80) throw ToolError("not UTF-8 text");
    code = code << 6 | (next & 0x3F);
  }
  constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    throw ToolError("not UTF-8 text");
  }
  i += extra + 1;
  return code;
}

}  // namespace

std::string utf8_text(const uint8_t* units, size_t count) {
  std::string text(static_cast<size_t>(utf16_to_narrow(units, static_cast<int>(count), nullptr, 0)), '\0');
  if (!text.empty()) utf16_to_narrow(units, static_cast<int>(count), text.data(), static_cast<int>(text.size()));
  return text;
}

std::vector<uint8_t> utf16le(const std::string& text, bool terminate) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < text.size();) {
    uint32_t code = next_code_point(text, i);
    if (code >= 0x10000) {
      append_u16le(out, static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
      append_u16le(out, static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      append_u16le(out, static_cast<uint16_t>(code));
    }
  }
  if (terminate) append_u16le(out, 0);
  return out;
}

}  // namespace msiboot_tool
