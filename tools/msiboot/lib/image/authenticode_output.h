#pragma once
// How inspect shows an Authenticode report: text lines indented as its other lines, and one JSON
// object.
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "authenticode.h"

namespace msiboot_tool {

// "  authenticode: signed, sha256, image digest matches, signature valid, chain trusted (...)",
// then the signer, the timestamp and the image digest indented below it, each nested signature
// likewise, and a note for bytes the signature leaves or covers beyond the image.
std::vector<std::string> authenticode_lines(const AuthenticodeReport& report);

// {"state", "problem", "ca_file", byte counts, "signatures": [...], "needs_publisher",
// "chain_untrusted"}; a missing value is null.
nlohmann::json authenticode_json(const AuthenticodeReport& report);

}  // namespace msiboot_tool
