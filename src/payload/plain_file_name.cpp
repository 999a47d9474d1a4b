#include "payload/plain_file_name.h"

#include <string.h>

#include "shared/ascii_case.h"
#include "shared/byte_reader.h"

namespace {

uint16_t unit_at(const ManifestUnits& name, uint32_t i) { return read_u16le(name.units + 2 * i); }

// Windows opens a device for these names whatever their extension ("nul.cab" is NUL), and
// ignores blanks before the extension.
bool is_device_name(const ManifestUnits& name) {
  static const char kDevices[] = "conprnauxnulcomlpt";
  uint32_t stem = 0;
  while (stem < name.count && unit_at(name, stem) != '.') ++stem;
  while (stem > 0 && unit_at(name, stem - 1) == ' ') --stem;
  if (stem != 3 && stem != 4) return false;
  for (uint32_t d = 0; d < 6; ++d) {
    uint32_t i = 0;
    while (i < 3 && ascii_lower(unit_at(name, i)) == static_cast<uint16_t>(kDevices[3 * d + i])) {
      ++i;
    }
    if (i < 3) continue;
    // COM and LPT take a digit 1-9; the other four stand alone.
    uint16_t digit = stem == 4 ? unit_at(name, 3) : 0;
    return d < 4 ? stem == 3 : digit >= '1' && digit <= '9';
  }
  return false;
}

}  // namespace

bool is_plain_file_name(const ManifestUnits& name) {
  if (name.count == 0 || is_device_name(name)) return false;
  // Windows drops a trailing dot or blank, so such a name would reach another file ("." and ".."
  // among them).
  uint16_t last = unit_at(name, name.count - 1);
  if (last == '.' || last == ' ') return false;
  for (uint32_t i = 0; i < name.count; ++i) {
    uint16_t c = unit_at(name, i);
    if (c < 0x20 || c == 0x7f || (c < 0x80 && strchr("<>:\"/\\|?*", c) != nullptr)) return false;
  }
  return true;
}
