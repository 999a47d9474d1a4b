#pragma once
// msiboot pack: stub and packages (with their cabinets) into one setup.exe.
#include <optional>
#include <string>
#include <vector>

#include "branding/stub_branding.h"
#include "container/record_packing.h"
#include "packages/package_plan.h"
#include "pe/placement.h"

namespace msiboot_tool {

struct PackOptions {
  std::string key_path;
  std::optional<std::string> key_pass;  // where an encrypted key's passphrase comes from
  std::string output;
  std::string stub;  // empty: the stub installed beside the tool
  std::optional<Placement> placement;  // none: append to an unsigned stub, certificate for a signed one
  std::vector<PackageInput> packages;
  int level = kDefaultLevel;  // libdeflate's, 0 to 12
  // Where any is given, the stub is branded; the version and the product name default to the
  // first package's ProductVersion and title.
  BrandingOptions branding;
  bool strict = false;  // every warning fails the pack
  // The publisher's message texts (a file of read_publisher_texts); an unsigned stub speaks the
  // bundle's languages anyway.
  std::optional<std::string> ui_texts;
};

// Writes the setup.exe; throws ToolError (one line naming the file) on any failure, and
// then leaves no output file. Warnings and notes go to stderr, the summary to stdout.
void pack_command(const PackOptions& options);

}  // namespace msiboot_tool
