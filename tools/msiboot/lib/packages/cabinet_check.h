#pragma once
// A package's cabinets checked against its File and Media tables: every file in a cabinet must
// be in its Media row's cabinet under its File key, with the File table's size. A cabinet of
// another build of the package (same names, other sizes) or a file that is no cabinet would
// fail on the user's machine, after the stub has done its part.
#include <map>
#include <string>

#include "packages/cabinet_listing.h"
#include "packages/msi_package.h"

namespace msiboot_tool {

// external: the listings of the external cabinets by the name the Media table gives them.
// Throws ToolError naming the first cabinet and file that do not agree (by sequence).
void check_cabinet_files(const MsiPackage& msi, const std::map<std::string, CabinetListing>& external);

}  // namespace msiboot_tool
