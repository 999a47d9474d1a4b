#pragma once
// The stub's three messages in the languages Windows is used in most, as UTF-8: the text when the
// installer engine is missing, the corrupt-file text and the folder browser's title.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

using MessageTexts = std::array<std::string, 3>;  // strings 100, 101, 102

struct MessageTranslation {
  const char* name;
  // The language identifiers it is written under: first its own, then the other display
  // languages of Windows that read it (es-MX beside es-ES, zh-HK beside zh-TW).
  std::vector<uint16_t> written_as;
  MessageTexts texts;
  // Other identifiers of its language that its primary language alone would not tell (zh-MO).
  std::vector<uint16_t> also_for = {};
};

const std::vector<MessageTranslation>& message_translations();

// The translation for a language identifier: the one written under it, else the first of the
// same primary language (zh-SG reads Simplified, zh-MO Traditional); null when there is none.
const MessageTranslation* translation_for(uint32_t language);

}  // namespace msiboot_tool
