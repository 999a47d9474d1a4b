#pragma once
// A program's version information (its VS_VERSION_INFO resource): the fixed file information and
// one language-neutral Unicode string table, as file properties and download checks show them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/byte_buffer.h"

namespace msiboot_tool {

using FourPartVersion = std::array<uint16_t, 4>;

// What the publisher gives; texts are UTF-8, and an empty one is left out of the string table.
struct VersionFields {
  std::optional<FourPartVersion> version;  // both file and product version; none: 0.0.0.0, no texts
  std::string product_name, company, description, copyright;
};

// "1.2.3.4". With fewer_parts, one to four numbers (a package's ProductVersion, "1.2.3"), the
// missing ones 0. Throws ToolError when the text is anything else.
FourPartVersion parse_version(const std::string& text, bool fewer_parts = false);
std::string version_text(const FourPartVersion& version);

// Throws ToolError when a text is not UTF-8 or longer than a field may be.
void check_version_text(const std::string& text);

// The VS_VERSION_INFO resource of a program (VFT_APP) with these fields.
Bytes version_resource(const VersionFields& fields);

struct VersionReport {
  FourPartVersion file_version{}, product_version{};
  std::vector<std::pair<std::string, std::string>> strings;  // name and UTF-8 value, in order
};

// Reads a VS_VERSION_INFO resource, every string table's strings included; throws
// ToolError when it is malformed.
VersionReport read_version_resource(const Bytes& resource);

}  // namespace msiboot_tool
