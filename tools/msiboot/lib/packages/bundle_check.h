#pragma once
// What the users of a bundle get, checked before anything is packed, with the stub's own choice:
// a bundle from which the stub would never install anything is refused; a package it never
// installs, and users who would get nothing, are warned about on stderr.
#include <cstdint>
#include <vector>

#include "files/byte_buffer.h"
#include "packages/bundle_plan.h"
#include "packages/package_plan.h"

namespace msiboot_tool {

// packages in bundle order with their entry ids; manifest holds their entries. Throws
// ToolError when no package would ever be installed.
void check_bundle(const std::vector<PlannedPackage>& packages, const std::vector<uint32_t>& ids,
                  const Bytes& manifest);

// Throws ToolError when the bundle's manifest, bound to its records, could pass the most the stub
// inflates a manifest to.
void check_manifest_size(const BundlePlan& bundle);

}  // namespace msiboot_tool
