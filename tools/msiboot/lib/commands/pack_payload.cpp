#include "commands/pack_payload.h"

#include <algorithm>
#include <filesystem>

#include "authenticode/carrier_certificate.h"
#include "files/quiet_output.h"
#include "files/tool_error.h"
#include "pe/certificate_table.h"
#include "payload/pe_layout.h"
#include "payload/signature_table.h"

namespace msiboot_tool {
namespace {

// The package that weighs most, with its cabinets, for naming in a refusal.
const PlannedPackage& largest(const std::vector<PlannedPackage>& packages) {
  auto weight = [](const PlannedPackage& p) {
    uint64_t size = p.size;
    for (const std::string& cabinet : p.cabinets) size += std::filesystem::file_size(cabinet);
    return size;
  };
  return *std::max_element(packages.begin(), packages.end(),
                           [&](const PlannedPackage& a, const PlannedPackage& b) { return weight(a) < weight(b); });
}

}  // namespace

SignedSetup place_in_signature(const std::vector<PlannedPackage>& packages, const SigningKey& key,
                               const Bytes& stub, const Bytes& container, Placement placement,
                               bool placement_asked) {
  if (placement != Placement::Certificate) return {append_in_certificate_entry(stub, container), placement};
  SignedSetup setup = {add_signature_certificates(stub, {make_carrier_certificate(container, self_issuer(key.pkey.get()))}),
                       Placement::Certificate};
  uint64_t message = locate_certificate_table(setup.file).first_entry_length - pe_layout::kWinCertificateHeader;
  if (message < kSignatureMessageLimit) return setup;
  setup.file.clear();
  const PlannedPackage& heaviest = largest(packages);
  const std::string reason = "the signature would hold " + std::to_string(message) +
                             " bytes with the payload in a carrier certificate; the system reads a signature below 64 MiB (" +
                             std::to_string(kSignatureMessageLimit) + " bytes) only";
  if (placement_asked) {
    throw ToolError(heaviest.path, "is the largest package (" + std::to_string(heaviest.size) + " bytes, " +
                                       std::to_string(heaviest.cabinets.size()) + " cabinets): " + reason +
                                       ": use --placement signature-tail");
  }
  note("pack", reason + ", so the payload goes after the signature data (signature-tail)");
  return {append_in_certificate_entry(stub, container), Placement::SignatureTail};
}

}  // namespace msiboot_tool
