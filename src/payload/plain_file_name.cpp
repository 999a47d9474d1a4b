#include "payload/plain_file_name.h"

#include <string.h>

#include "shared/ascii_case.h"

namespace {

// Windows opens a device for these names whatever their extension ("nul.cab" is NUL), and
// ignores blanks before the extension.
bool is_device_name(const char* name) {
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "com", "lpt"};
  size_t stem = strcspn(name, ".");
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  if (stem != 3 && stem != 4) return false;
  char lower[4];
  for (size_t i = 0; i < 3; ++i) lower[i] = ascii_lower(name[i]);
  for (size_t d = 0; d < 6; ++d) {
    if (memcmp(lower, kDevices[d], 3) != 0) continue;
    // COM and LPT take a digit 1-9; the other four stand alone.
    return d < 4 ? stem == 3 : stem == 4 && name[3] >= '1' && name[3] <= '9';
  }
  return false;
}

}  // namespace

bool is_plain_file_name(const char* name) {
  if (name == nullptr || name[0] == '\0' || is_device_name(name)) return false;
  size_t length = strlen(name);
  // Windows drops a trailing dot or blank, so such a name would reach another file ("." and ".."
  // among them).
  if (name[length - 1] == '.' || name[length - 1] == ' ') return false;
  for (const char* p = name; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7f || strchr("<>:\"/\\|?*", c) != nullptr) return false;
  }
  return true;
}
