#include "packages/installer_file_kind.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-input-stdio.h>

#include <cstring>

namespace msiboot_tool {
namespace {

// {000C108n-0000-0000-C000-000000000046} as stored: the first group little-endian.
bool is_installer_class(const guint8* id, guint8 last_digit) {
  static const guint8 kRest[] = {0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  return id[0] == last_digit && id[1] == 0x10 && std::memcmp(id + 2, kRest, sizeof kRest) == 0;
}

}  // namespace

InstallerFileKind installer_file_kind(const std::string& path) {
  GsfInput* input = gsf_input_stdio_new(path.c_str(), nullptr);
  if (input == nullptr) return InstallerFileKind::NotCompound;
  GsfInfile* storage = gsf_infile_msole_new(input, nullptr);
  g_object_unref(input);
  if (storage == nullptr) return InstallerFileKind::NotCompound;
  guint8 id[16] = {};
  bool known = gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(storage), id);
  g_object_unref(storage);
  if (known && is_installer_class(id, 0x84)) return InstallerFileKind::Database;
  if (known && is_installer_class(id, 0x86)) return InstallerFileKind::Patch;
  if (known && is_installer_class(id, 0x82)) return InstallerFileKind::Transform;
  return InstallerFileKind::OtherCompound;
}

const char* installer_file_kind_name(InstallerFileKind kind) {
  switch (kind) {
    case InstallerFileKind::Patch: return "a patch (.msp)";
    case InstallerFileKind::Transform: return "a transform (.mst)";
    case InstallerFileKind::Database: return "an installer database";
    case InstallerFileKind::OtherCompound: return "a compound file of another kind";
    default: return "not a compound file";
  }
}

}  // namespace msiboot_tool
