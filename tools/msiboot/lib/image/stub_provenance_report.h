#pragma once
// The released-stub comparison as inspect shows it: text lines and a JSON object.
#include <nlohmann/json.hpp>
#include <string>

#include "stub_provenance.h"

namespace msiboot_tool {

// Whole lines, indented like inspect's other lines:
//   stub: the released msiboot 0.1.0 stub, key sha256 HEX
//   stub: the released msiboot 0.1.0 stub, key slot empty (it trusts no key)
//   stub: not the released msiboot 0.1.0 stub: 1 byte differs, the first at offset 1040 (0x410)
// each followed by "    compared with FILE" when the file is known, or
//   stub: not compared with the released stub: PROBLEM
std::string stub_provenance_text(const StubProvenance& provenance);

// {"file", "version", "compared", "released"}, then "key_sha256" (null for an empty slot) when
// released, "differing_bytes" and "first_difference" when not, "problem" when not compared.
nlohmann::json stub_provenance_json(const StubProvenance& provenance);

}  // namespace msiboot_tool
