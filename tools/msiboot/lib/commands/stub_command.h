#pragma once
// msiboot stub: a stub that trusts the publisher's key, stamped into the built stub's key slot,
// and that shows the publisher's icon and version information where they are given.
#include <optional>
#include <string>

#include "branding/stub_branding.h"

namespace msiboot_tool {

struct StubOptions {
  std::string key_path;
  std::optional<std::string> key_pass;  // where an encrypted key's passphrase comes from
  std::string output;
  std::string from;  // empty: the stub installed beside the tool
  BrandingOptions branding;
  std::optional<std::string> ui_languages;  // as parse_ui_languages takes them
  std::optional<std::string> ui_texts;      // the publisher's texts file
};

// Throws ToolError (one line naming the file) on failure, leaving no output file.
void stub_command(const StubOptions& options);

}  // namespace msiboot_tool
