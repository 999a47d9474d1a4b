#include "branding/branding_report.h"

#include <stdexcept>

#include "branding/stub_branding.h"
#include "branding/stub_languages.h"
#include "pe/resources.h"

namespace msiboot_tool {
namespace {

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

}  // namespace

BrandingReport read_branding(std::span<const uint8_t> image) {
  const ResourceKey group_type{kResourceGroupIcon, {}}, version_type{kResourceVersion, {}};
  BrandingReport report;
  bool icon_seen = false;
  const std::vector<Resource> resources = read_resources(image);
  for (const Resource& r : resources) {
    if (r.type == group_type && r.name == kAppIconGroup && !icon_seen) {
      report.icon = icon_sizes(r.data);
      icon_seen = true;
    }
    if (r.type == version_type && !report.version) report.version = read_version_resource(r.data);
  }
  report.message_languages = stub_languages(resources);
  return report;
}

}  // namespace msiboot_tool
