#pragma once
// The words inspect uses for what it finds, in its text, its JSON and its findings alike: what a
// failure means, why a locale gets what it gets, why a package is not delivered.
#include <string>

#include "inspect/setup_contents.h"
#include "packages/locale_outcomes.h"
#include "shared/status.h"

namespace msiboot_tool {

// "code 13 at site 2151: what it means; what to do"
std::string explained(Status status);

// What a record's lookup came to: "signature valid", "signature does not verify", ...
std::string record_verdict(Status lookup);

// "manifest record 0", "file record 1000"
std::string record_name(const RecordReport& record);

// Why a package that a locale's entry names is not delivered.
std::string package_failure(const PackageReport& package);

// Who the outcome stands for: "1049", "other locales of primary language 0x19, as 2073", "every
// other locale, as 1025".
std::string locale_subject(const LocaleOutcome& outcome);

// Why the stub chooses what it does: "it lists 1049", "it lists 1033, of the same primary
// language", or why nothing is installed: "no x64 package lists 1031 or its primary language, and
// none lists 1033".
std::string locale_reason(const LocaleOutcome& outcome);

// Why the locale gets its package, or nothing: no payload, a package that is not delivered, or
// the stub's choice in words.
std::string locale_words(const SetupReport& setup, const LocaleReport& locale);

}  // namespace msiboot_tool
