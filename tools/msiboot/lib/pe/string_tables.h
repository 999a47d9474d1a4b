#pragma once
// String tables in an image's resources: the system keeps them in blocks of sixteen strings (block
// id / 16 + 1, string id % 16 within), one resource per block and language, each string a count
// of UTF-16 units followed by its units.
#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "files/byte_buffer.h"
#include "pe/resources.h"

namespace msiboot_tool {

using pe_layout::kResourceString;

using StringBlock = std::array<std::u16string, 16>;

// The block that holds string id, as its resource name.
inline uint16_t string_block_of(uint16_t id) { return static_cast<uint16_t>(id / 16 + 1); }

// Throws ToolError when the strings run past the resource's bytes.
StringBlock parse_string_block(std::span<const uint8_t> data);
Bytes string_block_bytes(const StringBlock& block);

// The languages of a block among the resources, ascending.
std::vector<uint16_t> string_block_languages(const std::vector<Resource>& resources, uint16_t block);

// The image with the given block in each given language (replacing the block of that language
// where there is one), written through the resource writer.
Bytes with_string_blocks(const Bytes& image, uint16_t block, const std::map<uint16_t, StringBlock>& languages);

}  // namespace msiboot_tool
