#include "pe/string_tables.h"

#include <algorithm>

#include "files/tool_error.h"

namespace msiboot_tool {

StringBlock parse_string_block(std::span<const uint8_t> data) {
  StringBlock block;
  size_t at = 0;
  for (std::u16string& text : block) {
    if (data.size() - at < 2) break;  // a block may leave its last strings out
    size_t units = get_u16le(data, at);
    at += 2;
    if ((data.size() - at) / 2 < units) throw ToolError("a string table runs past its resource");
    for (size_t i = 0; i < units; ++i, at += 2) text += static_cast<char16_t>(get_u16le(data, at));
  }
  return block;
}

Bytes string_block_bytes(const StringBlock& block) {
  Bytes bytes;
  for (const std::u16string& text : block) {
    if (text.size() > UINT16_MAX) throw ToolError("a string is longer than a string table holds");
    append_u16le(bytes, static_cast<uint16_t>(text.size()));
    for (char16_t unit : text) append_u16le(bytes, static_cast<uint16_t>(unit));
  }
  return bytes;
}

std::vector<uint16_t> string_block_languages(const std::vector<Resource>& resources, uint16_t block) {
  std::vector<uint16_t> languages;
  for (const Resource& r : resources) {
    if (r.type == ResourceKey{kResourceString, {}} && r.name == ResourceKey{block, {}}) languages.push_back(r.language);
  }
  std::sort(languages.begin(), languages.end());
  return languages;
}

Bytes with_string_blocks(const Bytes& image, uint16_t block, const std::map<uint16_t, StringBlock>& languages) {
  std::vector<Resource> resources = read_resources(image);
  const ResourceKey type{kResourceString, {}}, name{block, {}};
  std::erase_if(resources, [&](const Resource& r) { return r.type == type && r.name == name && languages.count(r.language); });
  for (const auto& [language, strings] : languages) resources.push_back({type, name, language, string_block_bytes(strings)});
  return replace_resources(image, std::move(resources));
}

}  // namespace msiboot_tool
