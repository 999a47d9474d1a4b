#include "inspect_command.h"

#include <cstdio>
#include <stdexcept>

#include "authenticode_output.h"
#include "branding_report.h"
#include "inspect_report.h"
#include "payload_section.h"
#include "setup_contents.h"
#include "setup_image.h"
#include "stub_provenance_report.h"

namespace msiboot_tool {
namespace {

// What is wrong with the signature, in one sentence, when the file is not what was signed.
std::string signature_finding(const AuthenticodeReport& checked) {
  if (checked.state == SignatureState::Unreadable) return "the certificate table cannot be read: " + checked.problem;
  for (const SignatureCheck& s : checked.signatures) {
    if (!s.digest_matches) {
      return "the Authenticode image digest does not match the signed one: the file was changed after it "
             "was signed; sign it again";
    }
    if (!s.signature_valid) return "the Authenticode signature does not verify (" + s.signature_problem + ")";
  }
  return "";
}

// The signature: broken always needs the publisher; an untrusted chain only against the CA they
// named, since the system's store here says more about this machine than about the file.
void add_authenticode(InspectReport& report, const SetupImage& image, const std::string& ca_file) {
  AuthenticodeReport checked = check_authenticode(image.data(), image.size(), ca_file);
  std::string text;
  for (const std::string& line : authenticode_lines(checked)) text += line + "\n";
  report.add("authenticode", authenticode_json(checked), text);
  if (authenticode_needs_publisher(checked)) report.need_publisher("authenticode", signature_finding(checked));
  if (!ca_file.empty() && authenticode_chain_untrusted(checked)) {
    report.need_publisher("authenticode", "the signature does not chain to a certificate of " + ca_file);
  }
}

// The bootstrapper code against the released stub; a released stub that cannot be found is
// reported but is no fault of the file.
void add_stub(InspectReport& report, const SetupImage& image, const std::string& stub) {
  StubProvenance provenance = compare_with_stub_file(image.data(), image.size(), stub);
  report.add("stub", stub_provenance_json(provenance), stub_provenance_text(provenance));
  if (provenance.compared && !provenance.released) {
    report.need_publisher("stub", "the bootstrapper is not the released msiboot " + provenance.version +
                                      " stub: " + std::to_string(provenance.differing_bytes) +
                                      " bytes differ, the first at offset " +
                                      std::to_string(provenance.first_difference));
  }
}

int inspect(const InspectOptions& options) {
  SetupImage image(options.setup);
  Bytes key = inspection_key(image, options.setup, options.public_key);
  InspectReport report(options.setup);
  add_payload_sections(report, inspect_setup(image, key, options.lcid), !options.public_key.empty(), options.lcid);
  ShownBranding branding = show_branding(image.bytes());
  report.add("branding", branding.json, branding.text);
  add_authenticode(report, image, options.ca_file);
  add_stub(report, image, options.stub);
  report.print(options.json);
  const std::vector<Finding>& findings = report.findings();
  if (!findings.empty()) {
    std::string more = findings.size() > 1 ? " (and " + std::to_string(findings.size() - 1) + " more)" : "";
    std::fprintf(stderr, "msiboot inspect: %s: %s%s\n", options.setup.c_str(), findings.front().text.c_str(),
                 more.c_str());
  }
  return report.exit_status();
}

}  // namespace

int inspect_command(const InspectOptions& options) {
  try {
    return inspect(options);
  } catch (const std::exception& e) {
    if (options.json) std::printf("%s\n", error_document(options.setup, "file", e.what()).c_str());
    throw;
  }
}

}  // namespace msiboot_tool
