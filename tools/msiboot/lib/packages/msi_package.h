#pragma once
// What the manifest needs from a Windows Installer package, read with libmsi: the product code
// (its folder and Uninstall key name), the product name (its title), the summary Template
// (architecture and languages), the external cabinets of its Media table, and the files the
// package expects outside any cabinet, which a setup.exe cannot carry.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "packages/cabinet_listing.h"

namespace msiboot_tool {

// A Media row: the files up to its last sequence lie in its cabinet ("#name": a stream of the
// package; empty: none).
struct MsiMedia {
  int last_sequence;
  std::string cabinet;
};

// A file of the File table that lies in a cabinet, under its key.
struct MsiFile {
  std::string key;
  uint32_t size;
  int sequence;
};

struct MsiPackage {
  std::string path;
  std::string product_code;  // empty when the package has none
  std::string product_name;  // empty when the package has none
  std::string product_version;  // empty when the package has none
  std::optional<std::string> template_text;  // the summary Template ("x64;1033,1049"), if any
  std::vector<std::string> cabinets;  // external cabinet file names, in Media table order
  size_t loose_files = 0;             // files that are in no cabinet
  std::string first_loose_file;       // the first of them, by sequence
  std::vector<MsiMedia> media;        // by last sequence
  std::vector<MsiFile> files;         // those in cabinets, by sequence
  std::map<std::string, CabinetListing> embedded;  // by the Media row's "#name"
};

// The Media row whose cabinet holds the file of that sequence, or null.
const MsiMedia* media_of(const MsiPackage& package, int sequence);

// Throws ToolError naming the file when it cannot be read, or is not an installation
// package (a patch, a transform, a merge module, or no installer database at all).
MsiPackage read_msi_package(const std::string& path);

}  // namespace msiboot_tool
