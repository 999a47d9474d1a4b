#pragma once
// The publisher's look of a stub: its icon group (APP, and the same group under id 1, which the
// progress window and the taskbar button show) and its version information.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "branding/icon_file.h"
#include "branding/version_info.h"
#include "files/byte_buffer.h"
#include "pe/resources.h"

namespace msiboot_tool {

// The icon group that is the program's icon.
inline const ResourceKey kAppIconGroup{0, u"APP"};

// The branding options of msiboot stub and msiboot pack, as given.
struct BrandingOptions {
  std::optional<std::string> icon;  // an .ico file
  std::optional<std::string> version, product_name, company, description, copyright;
  bool any() const { return icon || version || product_name || company || description || copyright; }
};

struct StubBranding {
  std::vector<IconImage> icon;           // empty: the stub keeps its own icon
  std::optional<VersionFields> version;  // none: the stub keeps its version information
};

// Reads the icon file (errors name it) and takes the version fields; where --version or
// --product-name is not given, default_version and default_name stand in.
StubBranding load_branding(const BrandingOptions& options, std::optional<FourPartVersion> default_version = {},
                           const std::string& default_name = "");

// The stub with the branding in its resources, its checksum updated. Throws ToolError
// for a signed stub, a stub that carries data after its image, and a stub whose layout does not
// let its resource section be rewritten.
Bytes brand_stub(const Bytes& stub, const StubBranding& branding);

}  // namespace msiboot_tool
