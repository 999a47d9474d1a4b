#pragma once
// A bundle's payload packed and signed as containers for its placement. The system decodes a
// carrier certificate only below 64 MiB: where the whole bundle would make a larger one, each
// package travels with its cabinets in a carrier of its own (the stub reads every carrier, in
// order, so the first choice stays first); where even that does not fit, an asked certificate
// placement is refused, and an unasked one becomes signature-tail, said on stderr.
#include <vector>

#include "container/layout.h"
#include "container/signing_key.h"
#include "packages/bundle_plan.h"
#include "pe/placement.h"

namespace msiboot_tool {

struct PackedPayload {
  std::vector<ContainerParts> containers;  // one, or one per package in carriers
  std::vector<Bytes> carriers;             // the carrier certificates, for the certificate placement
  Placement placement = Placement::Append;
};

// Throws ToolError naming the package whose carrier certificate cannot be read, when the
// certificate placement was asked for.
PackedPayload pack_payload(const std::vector<PlannedPackage>& packages, const BundlePlan& bundle,
                           const SigningKey& key, Placement placement, bool placement_asked);

}  // namespace msiboot_tool
