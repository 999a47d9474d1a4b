#pragma once
// The payload's part of the inspect report: the key, every container with its records and
// manifest entries, the packages the stub installs with their items, and what each locale gets,
// in words; failures with their meaning and what the publisher can do.
#include <cstdint>
#include <optional>

#include "inspect_report.h"
#include "setup_contents.h"

namespace msiboot_tool {

// Adds the fields key, containers, discovery, packages and locales (or, for one locale asked
// for, choice) and the findings that need the publisher: a record that fails its lookup, a
// container the stub never reads, no payload found, a listed language (or the locale asked for)
// that gets nothing.
void add_payload_sections(InspectReport& report, const SetupReport& setup, bool key_given,
                          std::optional<uint32_t> lcid);

}  // namespace msiboot_tool
