#pragma once
// What a program shows of itself: the image sizes of its icon group APP and its version
// information, as inspect reports them in text and in JSON.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "byte_buffer.h"
#include "version_info.h"

namespace msiboot_tool {

struct IconSize {
  uint32_t width = 0, height = 0;
  uint16_t bit_count = 0;
};

struct BrandingReport {
  std::vector<IconSize> icon;
  std::optional<VersionReport> version;
};

// Throws std::runtime_error when the image's resources cannot be read.
BrandingReport read_branding(std::span<const uint8_t> image);

// inspect's report on what a setup.exe shows: its lines ("  icon: ...", "  version information:
// ...") and the same as one JSON object. Resources that cannot be read are reported as such; the
// report on the payload stands all the same.
struct ShownBranding {
  std::string text;
  nlohmann::json json;
};

ShownBranding show_branding(std::span<const uint8_t> image);

}  // namespace msiboot_tool
