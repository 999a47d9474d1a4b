#pragma once
// A bundle's container placed inside the stub's signature. The system decodes a signature whose
// message (the carrier certificate with the signer's own) is 64 MiB or more as an ASN.1 value too
// large: such a certificate placement is refused when it was asked for, and becomes
// signature-tail, said on stderr, when it was not.
#include <vector>

#include "container/layout.h"
#include "container/signing_key.h"
#include "packages/bundle_plan.h"
#include "pe/placement.h"

namespace msiboot_tool {

struct SignedSetup {
  Bytes file;  // the stub with the container inside its signature
  Placement placement = Placement::Certificate;
};

// Throws ToolError naming the largest package when the certificate placement was asked for and
// the signature would reach the limit.
SignedSetup place_in_signature(const std::vector<PlannedPackage>& packages, const SigningKey& key,
                               const Bytes& stub, const Bytes& container, Placement placement,
                               bool placement_asked);

}  // namespace msiboot_tool
