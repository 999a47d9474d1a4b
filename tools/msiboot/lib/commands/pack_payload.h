#pragma once
// A bundle's container placed inside the stub's signature. The system decodes a signature whose
// message (the carrier certificate with the signer's own) is 64 MiB or more as an ASN.1 value too
// large: such a certificate placement is refused when it was asked for, and becomes
// signature-tail, said on stderr, when it was not.
#include <optional>
#include <string>
#include <vector>

#include "container/layout.h"
#include "container/signing_key.h"
#include "packages/bundle_plan.h"

namespace msiboot_tool {

// The stub with a carrier certificate holding the container, or nothing when its signature would
// then reach the limit; *message receives the signature's size either way.
std::optional<Bytes> with_carrier(const Bytes& stub, const Bytes& container, const SigningKey& key,
                                  uint64_t* message);

// The certificate placement cannot take the container, whose signature would hold the given
// size: throws ToolError naming the largest package when that placement was asked for, and
// otherwise says that the container goes after the signature data.
void refuse_carrier(const std::vector<PlannedPackage>& packages, const std::string& message_size, bool asked);

}  // namespace msiboot_tool
