#include "packages/cabinet_check.h"

#include "files/tool_error.h"

namespace msiboot_tool {

void check_cabinet_files(const MsiPackage& msi, const std::map<std::string, CabinetListing>& external) {
  for (const MsiFile& file : msi.files) {
    const MsiMedia* media = media_of(msi, file.sequence);
    if (media == nullptr) continue;  // a file outside every cabinet is refused as such
    const auto& listings = media->cabinet[0] == '#' ? msi.embedded : external;
    auto listing = listings.find(media->cabinet);
    if (listing == listings.end()) continue;
    const std::string cabinet = "its cabinet " + media->cabinet;
    if (!listing->second.problem.empty()) {
      throw ToolError(cabinet + " is " + listing->second.problem + ", so its file " + file.key + " cannot be installed");
    }
    auto held = listing->second.files.find(file.key);
    if (held == listing->second.files.end()) {
      throw ToolError(cabinet + " lacks the file " + file.key + " (a cabinet of another build?)");
    }
    if (held->second != file.size) {
      throw ToolError(cabinet + " holds " + file.key + " with " + std::to_string(held->second) +
                      " bytes where the File table says " + std::to_string(file.size) +
                      " (a cabinet of another build?)");
    }
  }
}

}  // namespace msiboot_tool
