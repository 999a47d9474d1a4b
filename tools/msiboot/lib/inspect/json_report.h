#pragma once
// inspect's JSON: one document with a field per section, its keys in the order the text shows
// them, and the findings and exit status last.
#include <nlohmann/json.hpp>
#include <string>

#include "inspect/model.h"

namespace msiboot_tool {

using ReportJson = nlohmann::ordered_json;

ReportJson render_json(const SetupModel& model);

// Two of its sections on their own, as render_json writes them: {"state", "problem", "ca_file",
// byte counts, "signatures": [...], "needs_publisher", "chain_untrusted"}, a missing value null;
// {"file", "version", "compared", "released", "branded"}, then "key_sha256" (null for an empty
// slot) when released, "differing_bytes" and "first_difference" when not, "problem" when not
// compared.
ReportJson authenticode_json(const AuthenticodeReport& report);
ReportJson stub_provenance_json(const StubProvenance& provenance);

// The document of an inspection that could not be made: the file (when known) and an error object
// with its kind ("file" or "command line") and the one-line message.
std::string error_document(const std::string& file, const std::string& kind, const std::string& message);

}  // namespace msiboot_tool
