#include "inspect/model.h"

#include <algorithm>
#include <utility>

#include "files/tool_error.h"
#include "inspect/setup_image.h"
#include "inspect/status_meaning.h"
#include "inspect/wording.h"

namespace msiboot_tool {
namespace {

constexpr char kSignedAfterPacking[] =
    "ends just before the certificate table: the file was signed after its container was appended, so the "
    "stub, which reads an appended container from the end of the file, meets the signature instead and every "
    "user sees the corruption message (1168). Pack into the signed stub instead (msiboot pack --stub SIGNED.exe "
    "--placement certificate, or signature-tail), or prepare the stub first (brand and stamp it with msiboot stub, sign it), then "
    "pack into it";

void need_publisher(SetupModel& model, const std::string& section, const std::string& text) {
  model.findings.push_back({section, text});
}

// A container's failing records, one finding per failure with the records that meet it.
void add_record_findings(SetupModel& model, const std::string& name, const ContainerReport& c) {
  std::vector<std::pair<Status, std::string>> failures;
  for (const RecordReport& r : c.records) {
    if (!status_failed(r.lookup)) continue;
    auto same = std::find_if(failures.begin(), failures.end(), [&r](const auto& f) { return f.first == r.lookup; });
    if (same == failures.end()) {
      failures.emplace_back(r.lookup, record_name(r));
    } else {
      same->second += ", " + record_name(r);
    }
  }
  for (const auto& [status, records] : failures) {
    need_publisher(model, "containers", name + ", " + records + ": " + explained(status));
  }
}

// Findings about the containers; true when one of them explains why the stub finds no payload.
bool add_container_findings(SetupModel& model) {
  const SetupReport& s = model.payload;
  bool explains = false;
  for (size_t i = 0; i < s.containers.size(); ++i) {
    const ContainerReport& c = s.containers[i];
    const std::string name = "container " + std::to_string(i);
    if (!c.reached) need_publisher(model, "containers", name + " " + kSignedAfterPacking);
    if (c.reached) add_record_findings(model, name, c);
    auto meets_discovery_failure = [&s](const RecordReport& r) { return r.lookup == s.discovery; };
    explains = explains || !c.reached || std::any_of(c.records.begin(), c.records.end(), meets_discovery_failure);
  }
  return explains;
}

void add_payload_findings(SetupModel& model) {
  const SetupReport& s = model.payload;
  const bool one_locale = model.lcid.has_value();
  bool explained_above = add_container_findings(model);
  if (status_failed(s.discovery)) {
    std::string why = explained_above ? status_text(s.discovery) + ", as above" : explained(s.discovery);
    need_publisher(model, "discovery", "the stub finds no payload: " + why);
    return;
  }
  bool any = false;
  for (const LocaleReport& l : s.locales) {
    any = any || !status_failed(l.status);
    if (!status_failed(l.status) || (!one_locale && l.outcome.kind != LocaleKind::Listed)) continue;
    need_publisher(model, one_locale ? "choice" : "locales",
                   locale_subject(l.outcome) + " gets nothing: " + locale_words(s, l) + " (" + status_text(l.status) +
                       "); " + status_meaning(l.status).remedy);
  }
  if (!any && !one_locale) need_publisher(model, "locales", "no locale gets a package");
}

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

// A broken signature always needs the publisher; an untrusted chain only against the CA they
// named, since the system's store here says more about this machine than about the file. A
// released stub that cannot be found is reported but is no fault of the file.
void add_file_findings(SetupModel& model) {
  const AuthenticodeReport& checked = model.authenticode;
  if (authenticode_needs_publisher(checked)) need_publisher(model, "authenticode", signature_finding(checked));
  if (!checked.ca_file.empty() && authenticode_chain_untrusted(checked)) {
    need_publisher(model, "authenticode", "the signature does not chain to a certificate of " + checked.ca_file);
  }
  const StubProvenance& stub = model.stub;
  if (stub.compared && !stub.released) {
    need_publisher(model, "stub", "the bootstrapper is not the released msiboot " + stub.version + " stub: " +
                                      std::to_string(stub.differing_bytes) + " bytes differ, the first at offset " +
                                      std::to_string(stub.first_difference));
  }
}

}  // namespace

SetupModel inspect_setup(const InspectRequest& request) {
  SetupImage image(request.setup);
  SetupModel model;
  model.file = request.setup;
  model.key_given = !request.public_key.empty();
  model.lcid = request.lcid;
  model.payload = read_payload(image, inspection_key(image, request.setup, request.public_key), request.lcid);
  try {
    model.branding = read_branding(image.bytes());
  } catch (const ToolError& e) {
    model.branding_problem = e.reason();
  }
  model.authenticode = check_authenticode(image.data(), image.size(), request.ca_file);
  model.stub = compare_with_stub_file(image.data(), image.size(), request.stub);
  add_payload_findings(model);
  add_file_findings(model);
  return model;
}

int exit_status(const SetupModel& model) { return model.findings.empty() ? 0 : 1; }

}  // namespace msiboot_tool
