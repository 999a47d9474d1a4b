#pragma once
// Which package each kind of user gets from a manifest, computed by the stub's own choice: a user
// whose language a package lists, one who shares only its primary language (the low byte), and
// one whose language no package lists, each answered for a representative locale.
#include <cstdint>
#include <vector>

#include "byte_buffer.h"

namespace msiboot_tool {

enum class LocaleKind {
  Listed,   // the locale is a language some package entry lists
  Primary,  // no entry lists it, but one lists a language with the same low byte
  Other,    // no entry lists it or its primary language
};

struct LocaleOutcome {
  uint32_t lcid = 0;      // the locale asked for (for Primary and Other, a representative)
  LocaleKind kind = LocaleKind::Other;
  uint32_t entry_id = 0;  // the package entry the stub chooses; 0: nothing is installed
};

// Listed locales in the order the entries list them, then one Primary locale per listed primary
// language that has unlisted locales, then one Other locale when some primary language is listed
// by no entry.
std::vector<LocaleOutcome> locale_outcomes(const Bytes& manifest);

}  // namespace msiboot_tool
