#pragma once
// What a Windows Installer file is, from the class of its root storage: installation packages
// (and merge modules, which share their class), patches and transforms each have their own.
#include <string>

namespace msiboot_tool {

enum class InstallerFileKind {
  Database,       // an installation package or a merge module
  Patch,          // .msp
  Transform,      // .mst
  OtherCompound,  // a compound file of another kind (a document, say)
  NotCompound,    // not a compound file at all
};

// The kind of the file at path, which must be readable.
InstallerFileKind installer_file_kind(const std::string& path);

// "a patch (.msp)", "a transform (.mst)", ...: what a file that is not a package is, for messages.
const char* installer_file_kind_name(InstallerFileKind kind);

}  // namespace msiboot_tool
