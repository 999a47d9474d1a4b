#include "inspect/shown_text.h"

#include <cstdio>

namespace msiboot_tool {
namespace {

std::string escaped(const std::string& text, bool keep_line_feeds) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte != 0x7F) || (keep_line_feeds && c == '\n')) {
      out += c;
      continue;
    }
    char code[5];
    std::snprintf(code, sizeof code, "\\x%02x", byte);
    out += code;
  }
  return out;
}

}  // namespace

std::string shown(const std::string& text) { return escaped(text, false); }

std::string shown_lines(const std::string& text) { return escaped(text, true); }

}  // namespace msiboot_tool
