#pragma once
// What a locale gets from a bundle, in words a publisher reads without knowing the stub's passes.
#include <string>

#include "locale_outcomes.h"

namespace msiboot_tool {

// Who the outcome stands for: "1049", "other locales of primary language 0x19, as 2073", "every
// other locale, as 1025".
std::string locale_subject(const LocaleOutcome& outcome);

// Why the stub chooses what it does: "it lists 1049", "it lists 1033, of the same primary
// language", or why nothing is installed: "no x64 package lists 1031 or its primary language, and
// none lists 1033".
std::string locale_reason(const LocaleOutcome& outcome);

}  // namespace msiboot_tool
