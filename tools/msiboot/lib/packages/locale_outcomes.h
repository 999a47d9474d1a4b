#pragma once
// Which package each kind of user gets from a manifest, computed by the stub's own choice: a user
// whose language a package lists, one who shares only its primary language (the low byte), and
// one whose language no package lists, each answered for a representative locale.
#include <cstdint>
#include <vector>

#include "files/byte_buffer.h"
#include "payload/payload_blob.h"

namespace msiboot_tool {

enum class LocaleKind {
  Listed,   // the locale is a language some package entry lists
  Primary,  // no entry lists it, but one lists a language with the same low byte
  Other,    // no entry lists it or its primary language
};

// The pass of the stub's choice that found the package.
enum class ChoicePass {
  None,      // no pass found one: nothing is installed
  Exact,     // an x64 entry lists the locale's language
  Primary,   // an x64 entry lists a language of the same primary language
  Fallback,  // an x64 entry lists 1033, which every other locale falls back to
};

struct LocaleOutcome {
  uint32_t lcid = 0;      // the locale asked for (for Primary and Other, a representative)
  LocaleKind kind = LocaleKind::Other;
  uint32_t entry_id = 0;  // the package entry the stub chooses; 0: nothing is installed
  uint32_t blob_index = 0;
  ChoicePass pass = ChoicePass::None;
  uint32_t matched = 0;   // the listed language that the pass matched
};

// Listed locales in the order the entries list them, then one Primary locale per listed primary
// language that has unlisted locales, then one Other locale when some primary language is listed
// by no entry. Every blob's manifest is walked, in blob order, as the stub walks them.
std::vector<LocaleOutcome> locale_outcomes(const PayloadSet& payload);

// The same for one manifest.
std::vector<LocaleOutcome> locale_outcomes(const Bytes& manifest);

// What the stub chooses for one locale, and which kind of user it is.
LocaleOutcome locale_outcome(const PayloadSet& payload, uint32_t lcid);

}  // namespace msiboot_tool
