#pragma once
// The labels a manifest entry gives a package, its architecture and its languages, read from the
// package's summary Template ("x64;1033,1049") or given on the command line.
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

constexpr uint32_t kNeutralLanguage = 0;

// "x64" for x64 and AMD64; "Intel" for Intel or no platform (a 32-bit package); any other
// platform (Intel64, Arm64, Arm) as it is, since the x64 stub installs none of those.
std::string architecture_of_platform(const std::string& platform);

// The language identifiers of a list separated by ';' or ','. Throws ToolError naming
// the first item that is not a decimal number from 1 to 65535 (or 0, where neutral is allowed).
std::vector<uint32_t> parse_languages(const std::string& list, bool neutral_allowed);

// "1033;1049"
std::string join_languages(const std::vector<uint32_t>& languages);

}  // namespace msiboot_tool
