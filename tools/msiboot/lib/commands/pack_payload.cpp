#include "commands/pack_payload.h"

#include <algorithm>
#include <cstdio>

#include "authenticode/carrier_certificate.h"
#include "files/file_bytes.h"
#include "files/progress_bar.h"
#include "files/tool_error.h"
#include "payload/signature_table.h"

namespace msiboot_tool {
namespace {

ContainerParts pack_container(const BundlePlan& plan, const SigningKey& key) {
  std::vector<ContainerRecord> records = bundle_records(plan, read_file_bytes);
  size_t total = 0;
  for (const ContainerRecord& record : records) total += record.content.size();
  ProgressBar bar("msiboot pack: packing", total);
  return write_container_parts(records, key, [&bar](size_t bytes) { bar.advance(bytes); });
}

std::vector<Bytes> carriers_of(const std::vector<ContainerParts>& containers, const SigningKey& key) {
  std::vector<Bytes> carriers;
  for (const ContainerParts& container : containers) {
    carriers.push_back(make_carrier_certificate(join_parts(container), self_issuer(key.pkey.get())));
  }
  return carriers;
}

bool readable(const Bytes& carrier) { return carrier.size() < kCarrierCertificateLimit; }

// Each package with its cabinets in a container of its own, in bundle order.
std::vector<ContainerParts> one_per_package(const std::vector<PlannedPackage>& packages, const SigningKey& key) {
  std::vector<ContainerParts> containers;
  for (const PlannedPackage& package : packages) {
    std::vector<PlannedPackage> alone = {package};
    containers.push_back(pack_container(plan_bundle(alone), key));
  }
  return containers;
}

}  // namespace

PackedPayload pack_payload(const std::vector<PlannedPackage>& packages, const BundlePlan& bundle,
                           const SigningKey& key, Placement placement, bool placement_asked) {
  PackedPayload payload = {{pack_container(bundle, key)}, {}, placement};
  if (placement != Placement::Certificate) return payload;
  payload.carriers = carriers_of(payload.containers, key);
  if (readable(payload.carriers.front())) return payload;
  size_t largest = 0;
  if (packages.size() > 1) {
    std::vector<ContainerParts> split = one_per_package(packages, key);
    std::vector<Bytes> carriers = carriers_of(split, key);
    if (std::all_of(carriers.begin(), carriers.end(), readable)) return {split, carriers, placement};
    auto size_less = [](const Bytes& a, const Bytes& b) { return a.size() < b.size(); };
    largest = static_cast<size_t>(std::max_element(carriers.begin(), carriers.end(), size_less) - carriers.begin());
    payload.carriers[0].swap(carriers[largest]);
  }
  const std::string reason = "with its cabinets makes a carrier certificate of " +
                             std::to_string(payload.carriers.front().size()) +
                             " bytes; the system reads carrier certificates below 64 MiB (" +
                             std::to_string(kCarrierCertificateLimit) + " bytes) only";
  if (placement_asked) throw ToolError(packages[largest].path, reason + ": use --placement signature-tail");
  std::fprintf(stderr, "msiboot pack: note: %s %s, so the payload goes after the signature data (signature-tail)\n",
               packages[largest].path.c_str(), reason.c_str());
  payload.carriers.clear();
  payload.placement = Placement::SignatureTail;
  return payload;
}

}  // namespace msiboot_tool
