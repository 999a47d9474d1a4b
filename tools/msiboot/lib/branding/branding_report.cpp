#include "branding_report.h"

#include <stdexcept>

#include "pe_resources.h"
#include "stub_branding.h"

namespace msiboot_tool {
namespace {

using nlohmann::json;

constexpr size_t kGroupHeader = 6, kGroupEntry = 14;

// The images an icon group names; a width or height of 0 stands for 256.
std::vector<IconSize> icon_sizes(const Bytes& group) {
  std::vector<IconSize> sizes;
  size_t count = group.size() >= kGroupHeader ? get_u16le(group, 4) : 0;
  for (size_t i = 0; i < count && (group.size() - kGroupHeader) / kGroupEntry > i; ++i) {
    size_t entry = kGroupHeader + i * kGroupEntry;
    sizes.push_back({group[entry] == 0 ? 256u : group[entry], group[entry + 1] == 0 ? 256u : group[entry + 1],
                     get_u16le(group, entry + 6)});
  }
  return sizes;
}

json branding_json(const BrandingReport& report) {
  json icon = json::array();
  for (const IconSize& image : report.icon) {
    icon.push_back({{"width", image.width}, {"height", image.height}, {"bit_count", image.bit_count}});
  }
  json version = nullptr;
  if (const auto& v = report.version) {
    json strings = json::object();
    for (const auto& [name, value] : v->strings) strings[name] = value;
    version = {{"file_version", version_text(v->file_version)},
               {"product_version", version_text(v->product_version)},
               {"strings", strings}};
  }
  return {{"icon", icon}, {"version", version}};
}

std::string branding_text(const BrandingReport& report) {
  std::string sizes;
  for (const IconSize& image : report.icon) {
    sizes += (sizes.empty() ? "" : ", ") + std::to_string(image.width) + "x" + std::to_string(image.height) +
             " " + std::to_string(image.bit_count) + "-bit";
  }
  std::string text = "  icon: " + (sizes.empty() ? "none" : sizes) + "\n";
  const auto& v = report.version;
  if (!v) return text + "  version information: none\n";
  text += "  version information: file " + version_text(v->file_version) + ", product " +
          version_text(v->product_version) + "\n";
  for (const auto& [name, value] : v->strings) text += "    " + name + ": " + value + "\n";
  return text;
}

}  // namespace

BrandingReport read_branding(std::span<const uint8_t> image) {
  const ResourceKey group_type{kResourceGroupIcon, {}}, version_type{kResourceVersion, {}};
  BrandingReport report;
  bool icon_seen = false;
  for (const Resource& r : read_resources(image)) {
    if (r.type == group_type && r.name == kAppIconGroup && !icon_seen) {
      report.icon = icon_sizes(r.data);
      icon_seen = true;
    }
    if (r.type == version_type && !report.version) report.version = read_version_resource(r.data);
  }
  return report;
}

ShownBranding show_branding(std::span<const uint8_t> image) {
  try {
    BrandingReport report = read_branding(image);
    return {branding_text(report), branding_json(report)};
  } catch (const std::runtime_error& e) {
    return {std::string("  resources: not readable (") + e.what() + ")\n", {{"error", e.what()}}};
  }
}

}  // namespace msiboot_tool
