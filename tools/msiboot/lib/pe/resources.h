#pragma once
// The resources of a PE32+ image: read from its resource section, and the image with that section
// written anew from a list of resources. The section keeps its place; only the base relocations
// may follow it, and they move with its new size.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/byte_buffer.h"
#include "payload/pe_layout.h"

namespace msiboot_tool {

using pe_layout::kResourceGroupIcon;
using pe_layout::kResourceIcon;
using pe_layout::kResourceVersion;

// A type or name: a number, or (when text is not empty) a name.
struct ResourceKey {
  uint16_t id = 0;
  std::u16string text;
  bool operator==(const ResourceKey&) const = default;
};

struct Resource {
  ResourceKey type, name;
  uint16_t language = 0;
  Bytes data;
};

// Every resource of the image, in the order of its tree; none when it has no resource section.
// Throws ToolError when it is not a PE32+ image or its resource tree is malformed.
std::vector<Resource> read_resources(std::span<const uint8_t> image);

// The image with a resource section holding exactly `resources` (in the system's order: names
// before numbers), its section table, data directories, SizeOfImage and checksum updated. Throws
// when the image has data after its sections or a layout the section cannot grow in.
Bytes replace_resources(const Bytes& image, std::vector<Resource> resources);

}  // namespace msiboot_tool
