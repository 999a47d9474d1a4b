#include "branding/stub_branding.h"

#include <algorithm>
#include <stdexcept>

#include "files/file_bytes.h"
#include "files/tool_error.h"
#include "pe/certificate_table.h"
#include "pe/resources.h"

namespace msiboot_tool {
namespace {

const ResourceKey kIconType{kResourceIcon, {}}, kGroupType{kResourceGroupIcon, {}};
const ResourceKey kVersionType{kResourceVersion, {}};
constexpr uint16_t kNeutralLanguage = 0;

// The icon-group directory naming the images as icons 1 to n.
Bytes icon_group(const std::vector<IconImage>& images) {
  Bytes group;
  append_u16le(group, 0);
  append_u16le(group, 1);
  append_u16le(group, static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const IconImage& image = images[i];
    group.insert(group.end(), {image.width, image.height, image.colours, 0});
    append_u16le(group, image.planes);
    append_u16le(group, image.bit_count);
    append_u32le(group, checked_u32(image.data.size(), "an icon image"));
    append_u16le(group, static_cast<uint16_t>(i + 1));
  }
  return group;
}

// The stub's icons all belong to its program icon: they are replaced together, in the language
// the APP group had.
void replace_icon(std::vector<Resource>& resources, const std::vector<IconImage>& images) {
  uint16_t language = kNeutralLanguage;
  for (const Resource& r : resources) {
    if (r.type == kGroupType && r.name == kAppIconGroup) language = r.language;
  }
  std::erase_if(resources, [](const Resource& r) { return r.type == kIconType || r.type == kGroupType; });
  for (size_t i = 0; i < images.size(); ++i) {
    resources.push_back({kIconType, {static_cast<uint16_t>(i + 1), {}}, language, images[i].data});
  }
  Bytes group = icon_group(images);
  resources.push_back({kGroupType, kAppIconGroup, language, group});
  resources.push_back({kGroupType, {1, {}}, language, group});
}

}  // namespace

StubBranding load_branding(const BrandingOptions& options, std::optional<FourPartVersion> default_version,
                           const std::string& default_name) {
  StubBranding branding;
  if (options.icon) {
    branding.icon = about_file(*options.icon, [&] { return read_icon_file(read_file_bytes(*options.icon)); });
  }
  bool wants_version = options.version || options.product_name || options.company || options.description ||
                       options.copyright;
  if (!wants_version && !options.icon) return branding;
  VersionFields fields;
  fields.version = options.version ? parse_version(*options.version) : default_version;
  fields.product_name = options.product_name.value_or(default_name);
  fields.company = options.company.value_or("");
  fields.description = options.description.value_or("");
  fields.copyright = options.copyright.value_or("");
  if (wants_version || fields.version || !fields.product_name.empty()) branding.version = fields;
  return branding;
}

Bytes brand_stub(const Bytes& stub, const StubBranding& branding) {
  if (has_certificate_table(stub)) {
    throw ToolError("is signed: branding would break its signature (brand, stamp, then sign)");
  }
  if (sections_end(stub) < stub.size()) {
    throw ToolError("carries data after its image (a payload already?): brand the bare stub");
  }
  std::vector<Resource> resources = read_resources(stub);
  if (!branding.icon.empty()) replace_icon(resources, branding.icon);
  if (branding.version) {
    std::erase_if(resources, [](const Resource& r) { return r.type == kVersionType; });
    resources.push_back({kVersionType, {1, {}}, kNeutralLanguage, version_resource(*branding.version)});
  }
  return replace_resources(stub, std::move(resources));
}

}  // namespace msiboot_tool
