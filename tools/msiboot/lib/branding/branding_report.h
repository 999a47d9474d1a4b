#pragma once
// What a program shows of itself: the image sizes of its icon group APP, its version
// information and the languages of its messages.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "branding/version_info.h"
#include "files/byte_buffer.h"

namespace msiboot_tool {

struct IconSize {
  uint32_t width = 0, height = 0;
  uint16_t bit_count = 0;
};

struct BrandingReport {
  std::vector<IconSize> icon;
  std::optional<VersionReport> version;
  std::vector<uint16_t> message_languages;  // the languages its messages are shown in
};

// Throws ToolError when the image's resources cannot be read.
BrandingReport read_branding(std::span<const uint8_t> image);

}  // namespace msiboot_tool
