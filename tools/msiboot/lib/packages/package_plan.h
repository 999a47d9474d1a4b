#pragma once
// One package of a bundle as it will be packed: its manifest labels, from the command line where
// given and from the package otherwise, and the cabinet files to carry with it. Everything that
// would make a setup.exe that cannot install is refused here, before anything is written.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace msiboot_tool {

// What the command line gives for one package; unset fields are read from the package.
struct PackageInput {
  std::string path;
  std::optional<std::string> title, languages, folder, architecture;
};

struct PlannedPackage {
  std::string path, architecture, languages, folder, title;
  std::vector<std::string> cabinets;  // paths beside the package
  std::vector<std::string> cabinet_names;  // each as the Media table names it, the name it is written under
  uint64_t size = 0;                  // of the package file
  bool neutral = false;               // its Template says language 0, listed as 1033
  std::string template_text;          // the summary Template, where it was read
  std::string product_version;        // its ProductVersion, if any
  std::vector<std::string> warnings;  // said once nothing refuses the bundle
};

// Throws ToolError (one line naming the package) when the package cannot be packed: not
// readable, not an installation package, files outside cabinets, a missing cabinet, a value the
// manifest cannot carry, a file too large for a record.
PlannedPackage plan_package(const PackageInput& input);

}  // namespace msiboot_tool
