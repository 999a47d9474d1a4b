#pragma once
// What a program shows of itself: the image sizes of its icon group APP and its version
// information, as inspect reports them in text and in JSON.
#include <cstdint>
#include <optional>
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
BrandingReport read_branding(const Bytes& image);

// inspect's report on what a setup.exe shows: its lines ("  icon: ...", "  version information:
// ...") and the same as one JSON object. Resources that cannot be read are reported as such; the
// report on the payload stands all the same.
struct ShownBranding {
  std::string text;
  nlohmann::json json;
};

// Throws std::runtime_error naming the file when it cannot be read.
ShownBranding show_branding(const std::string& path);

}  // namespace msiboot_tool
