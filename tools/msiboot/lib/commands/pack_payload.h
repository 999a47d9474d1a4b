#pragma once
// A bundle's payload packed and signed as one container for its placement. The system decodes a
// signature whose message (the carrier certificate with the signer's own) is 64 MiB or more as
// an ASN.1 value too large: such a certificate placement is refused when it was asked for, and
// becomes signature-tail, said on stderr, when it was not.
#include <vector>

#include "container/layout.h"
#include "container/signing_key.h"
#include "packages/bundle_plan.h"
#include "pe/placement.h"

namespace msiboot_tool {

struct PackedPayload {
  ContainerParts container;
  Bytes signed_setup;  // the certificate placement's whole file: the stub with the carrier added
  Placement placement = Placement::Append;
};

// Throws ToolError naming the package when the certificate placement was asked for and the
// signature would reach the limit.
PackedPayload pack_payload(const std::vector<PlannedPackage>& packages, const BundlePlan& bundle,
                           const SigningKey& key, const Bytes& stub, Placement placement, bool placement_asked);

}  // namespace msiboot_tool
