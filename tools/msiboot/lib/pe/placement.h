#pragma once
// Where a payload container lies in a setup.exe. pack takes the names as --placement values,
// inspect shows them as they are.
#include <optional>
#include <string>

namespace msiboot_tool {

enum class Placement {
  Append,         // after the image, the last bytes of the file
  Certificate,    // in a carrier certificate's extension inside the Authenticode signature
  SignatureTail,  // after the signature data, inside the certificate-table entry
};

// "append", "certificate", "signature-tail"
const char* placement_name(Placement placement);

// The placement of that name; none for any other text.
std::optional<Placement> placement_named(const std::string& name);

}  // namespace msiboot_tool
