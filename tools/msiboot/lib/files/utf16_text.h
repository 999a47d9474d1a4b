#pragma once
// The tool's UTF-8 text as the UTF-16LE that manifests and Windows resources hold.
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

// UTF-8 text as UTF-16LE bytes, with a terminating NUL unit when asked. Throws ToolError
// when the text is not UTF-8 (a stray or missing continuation byte, an overlong form, a
// surrogate, or a code point beyond U+10FFFF): it would otherwise reach the stub garbled.
std::vector<uint8_t> utf16le(const std::string& text, bool terminate);

// count UTF-16LE units at units (any alignment) as UTF-8 text; a lone surrogate reads as '?'.
std::string utf8_text(const uint8_t* units, size_t count);

}  // namespace msiboot_tool
