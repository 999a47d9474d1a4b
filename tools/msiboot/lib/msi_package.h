#pragma once
// What the manifest needs from a Windows Installer package, read with libmsi: the product code
// (its folder and Uninstall key name), the product name (its title), the summary Template
// (architecture and languages) and the external cabinets of its Media table.
#include <string>
#include <vector>

namespace msiboot_tool {

struct MsiPackage {
  std::string path;
  std::string product_code;
  std::string product_name;
  std::string architecture;  // "x64", "Intel", ... as the manifest names it
  std::string languages;     // "1033;1049"
  std::vector<std::string> cabinets;  // external cabinet file names, in Media table order
};

// Throws std::runtime_error naming the file when it cannot be read as a package.
MsiPackage read_msi_package(const std::string& path);

}  // namespace msiboot_tool
