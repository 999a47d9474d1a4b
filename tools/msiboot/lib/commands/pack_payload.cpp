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

std::optional<Bytes> with_carrier(const Bytes& stub, const Bytes& container, const SigningKey& key,
                                  uint64_t* message) {
  Bytes file = add_signature_certificates(stub, {make_carrier_certificate(container, self_issuer(key.pkey.get()))});
  *message = locate_certificate_table(file).first_entry_length - pe_layout::kWinCertificateHeader;
  if (*message < kSignatureMessageLimit) return file;
  return std::nullopt;
}

void refuse_carrier(const std::vector<PlannedPackage>& packages, const std::string& message_size, bool asked) {
  const std::string reason = "the signature would hold " + message_size +
                             " bytes with the payload in a carrier certificate; the system reads a signature below 64 MiB (" +
                             std::to_string(kSignatureMessageLimit) + " bytes) only";
  if (asked) {
    const PlannedPackage& heaviest = largest(packages);
    throw ToolError(heaviest.path, "is the largest package (" + std::to_string(heaviest.size) + " bytes, " +
                                       std::to_string(heaviest.cabinets.size()) + " cabinets): " + reason +
                                       ": use --placement signature-tail");
  }
  note("pack", reason + ", so the payload goes after the signature data (signature-tail)");
}

}  // namespace msiboot_tool
