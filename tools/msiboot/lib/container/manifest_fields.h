#pragma once
// Checks on the texts that go into a manifest, made before packing, so that the stub reads each
// entry as the publisher meant it.
#include <string>

namespace msiboot_tool {

// Throws ToolError unless value can be a manifest field: not empty, no backslash (the
// field separator), fitting the stub's field in every code page (payload/manifest_entry.h).
void check_manifest_field(const std::string& what, const std::string& value);

// A name the stub writes beside the package, by the stub's own rule: what the stub refuses, the
// tool refuses too.
bool is_plain_file_name(const std::string& name);

// The title as the progress window shows it: cut to 49 UTF-16 units, never inside a character.
// Equal to title when it fits.
std::string title_as_shown(const std::string& title);

}  // namespace msiboot_tool
