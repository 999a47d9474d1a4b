#include "branding/stub_languages.h"

#include <algorithm>
#include <fstream>
#include <set>

#include "branding/message_translations.h"
#include "driver/message_strings.h"
#include "files/tool_error.h"
#include "files/utf16_text.h"
#include "packages/package_labels.h"
#include "pe/string_tables.h"

namespace msiboot_tool {
namespace {

constexpr uint16_t kEnglish = 1033, kEnglishPrimary = 0x09, kPrimaryMask = 0x3FF;
const uint16_t kBlock = string_block_of(kStringNoInstaller);
constexpr std::array<unsigned, 3> kIds = {kStringNoInstaller, kStringCorrupt, kStringBrowseTitle};
constexpr std::array<const char*, 3> kNames = {"no-installer", "corrupt", "browse-title"};

std::u16string units_of(const std::string& text) {
  Bytes bytes = utf16le(text, false);
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) units += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
  return units;
}

// The stub loads its messages in the ANSI code page, at most two bytes a character beyond ASCII.
void require_fits(const std::u16string& text, size_t message) {
  size_t bytes = 0;
  for (char16_t unit : text) bytes += unit < 0x80 ? 1 : 2;
  size_t room = (message == 0 ? kNoInstallerTextSize : kMessageTextSize) - 1;
  if (bytes > room) {
    throw ToolError(std::string("the ") + kNames[message] + " text takes up to " + std::to_string(bytes) +
                    " bytes; the stub has room for " + std::to_string(room));
  }
}

// The publisher's line "LANGUAGE NAME TEXT" into texts.
void take_line(const std::string& line, PublisherTexts& texts) {
  size_t first = line.find(' '), second = first == std::string::npos ? first : line.find(' ', first + 1);
  if (second == std::string::npos) throw ToolError("give LANGUAGE NAME TEXT");
  std::vector<uint32_t> language = parse_languages(line.substr(0, first), false);
  if (language.size() != 1) throw ToolError("give one language");
  std::string name = line.substr(first + 1, second - first - 1), text = line.substr(second + 1);
  auto found = std::find(kNames.begin(), kNames.end(), name);
  if (found == kNames.end()) throw ToolError("\"" + name + "\" is not no-installer, corrupt or browse-title");
  size_t message = static_cast<size_t>(found - kNames.begin());
  require_fits(units_of(text), message);
  texts[static_cast<uint16_t>(language.front())][message] = text;
}

// The message block of one language, from the stub's English block.
StringBlock block_for(StringBlock block, const MessageTranslation* translation,
                      const std::array<std::optional<std::string>, 3>* given) {
  for (size_t m = 0; m < kIds.size(); ++m) {
    std::u16string& text = block[kIds[m] % 16];
    if (translation != nullptr) text = units_of(translation->texts[m]);
    if (given != nullptr && (*given)[m]) text = units_of(*(*given)[m]);
    require_fits(text, m);
  }
  return block;
}

}  // namespace

PublisherTexts read_publisher_texts(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw ToolError(path, "cannot read it");
  PublisherTexts texts;
  size_t number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    try {
      take_line(line, texts);
    } catch (const ToolError& e) {
      throw ToolError(path, "line " + std::to_string(number) + ": " + e.reason());
    }
  }
  return texts;
}

std::vector<uint32_t> parse_ui_languages(const std::string& list) {
  if (list != "all") return parse_languages(list, false);
  std::vector<uint32_t> all;
  for (const MessageTranslation& t : message_translations()) all.insert(all.end(), t.written_as.begin(), t.written_as.end());
  return all;
}

Bytes add_stub_languages(const Bytes& stub, const std::vector<uint32_t>& languages, const PublisherTexts& texts,
                         std::vector<uint32_t>* untranslated) {
  std::vector<Resource> resources = read_resources(stub);
  auto english = std::find_if(resources.begin(), resources.end(), [](const Resource& r) {
    return r.type == ResourceKey{kResourceString, {}} && r.name == ResourceKey{kBlock, {}} && r.language == kEnglish;
  });
  if (english == resources.end()) throw ToolError("has no English messages to translate");
  const StringBlock base = parse_string_block(english->data);
  std::set<uint32_t> wanted(languages.begin(), languages.end());
  for (const auto& entry : texts) wanted.insert(entry.first);
  std::map<uint16_t, StringBlock> blocks;
  // Each language's translation goes under the display languages that read it too, unless a
  // language of its own claims that identifier.
  for (bool own : {false, true}) {
    for (uint32_t language : wanted) {
      auto given = texts.find(static_cast<uint16_t>(language));
      const MessageTranslation* translation = translation_for(language);
      bool english_language = (language & kPrimaryMask) == kEnglishPrimary;
      if (given == texts.end() && (english_language || translation == nullptr)) {
        if (own && !english_language && untranslated != nullptr) untranslated->push_back(language);
        continue;
      }
      StringBlock block = block_for(base, translation, given == texts.end() ? nullptr : &given->second);
      if (own) blocks[static_cast<uint16_t>(language)] = block;
      for (uint16_t id : translation == nullptr || own ? std::vector<uint16_t>{} : translation->written_as) blocks.emplace(id, block);
    }
  }
  return blocks.empty() ? stub : with_string_blocks(stub, kBlock, blocks);
}

std::vector<uint16_t> stub_languages(const std::vector<Resource>& resources) {
  return string_block_languages(resources, kBlock);
}

}  // namespace msiboot_tool
