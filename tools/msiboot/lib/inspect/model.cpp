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

void need_publisher(std::vector<Finding>& findings, const std::string& section, const std::string& text,
                    bool warning = false) {
  findings.push_back({section, text, warning});
}

// A container's failing records, one finding per failure with the records that meet it.
void add_record_findings(std::vector<Finding>& findings, const std::string& name, const ContainerReport& c) {
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
    need_publisher(findings, "containers", name + ", " + records + ": " + explained(status));
  }
}

// Findings about the containers; true when one of them explains why the stub finds no payload.
bool add_container_findings(std::vector<Finding>& findings, const SetupReport& s) {
  bool explains = false;
  for (size_t i = 0; i < s.containers.size(); ++i) {
    const ContainerReport& c = s.containers[i];
    const std::string name = "container " + std::to_string(i);
    if (!c.reached) need_publisher(findings, "containers", name + " " + kSignedAfterPacking);
    if (c.reached) add_record_findings(findings, name, c);
    auto meets_discovery_failure = [&s](const RecordReport& r) { return r.lookup == s.discovery; };
    explains = explains || !c.reached || std::any_of(c.records.begin(), c.records.end(), meets_discovery_failure);
  }
  return explains;
}

// Package entries no kind of user gets, and entries the stub would refuse for want of a binding.
void add_entry_findings(std::vector<Finding>& findings, const SetupReport& s) {
  for (size_t i = 0; i < s.containers.size(); ++i) {
    for (const EntryFields& e : s.containers[i].entries) {
      const std::string entry = "container " + std::to_string(i) + ", entry " + std::to_string(e.id);
      if (e.kind != EntryKind::Unread && e.binding.state != kBindingPresent) {
        need_publisher(findings, "containers", entry + " is not bound to its record (the stub refuses it): pack again", true);
      }
      auto gets = [&](const LocaleReport& l) { return l.outcome.entry_id == e.id && l.outcome.blob_index == i; };
      if (e.kind == EntryKind::Package && std::none_of(s.locales.begin(), s.locales.end(), gets)) {
        need_publisher(findings, "locales", entry + " (" + e.title + ") is never installed: no kind of user gets it", true);
      }
    }
  }
}

}  // namespace

std::vector<Finding> payload_findings(const SetupReport& s, std::optional<uint32_t> lcid) {
  std::vector<Finding> findings;
  const bool one_locale = lcid.has_value();
  bool explained_above = add_container_findings(findings, s);
  if (status_failed(s.discovery)) {
    std::string why = explained_above ? status_text(s.discovery) + ", as above" : explained(s.discovery);
    need_publisher(findings, "discovery", "the stub finds no payload: " + why);
    return findings;
  }
  bool any = false;
  for (const LocaleReport& l : s.locales) {
    any = any || !status_failed(l.status);
    if (!status_failed(l.status)) continue;
    // A user the stub chooses no package for, whose language no package lists, is a warning: a
    // bundle may serve chosen languages only.
    bool unserved = !one_locale && l.outcome.kind != LocaleKind::Listed && l.package < 0;
    need_publisher(findings, one_locale ? "choice" : "locales",
                   locale_subject(l.outcome) + " gets nothing: " + locale_words(s, l) + " (" + status_text(l.status) +
                       "); " + status_meaning(l.status).remedy,
                   unserved);
  }
  if (!any && !one_locale) need_publisher(findings, "locales", "no locale gets a package");
  if (!one_locale) add_entry_findings(findings, s);
  return findings;
}

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

// A broken signature always needs the publisher; an untrusted chain only against the CA they
// named, since the system's store here says more about this machine than about the file. A
// released stub that cannot be found is reported but is no fault of the file.
void add_file_findings(SetupModel& model) {
  const AuthenticodeReport& checked = model.authenticode;
  if (authenticode_needs_publisher(checked)) need_publisher(model.findings, "authenticode", signature_finding(checked));
  if (!checked.ca_file.empty() && authenticode_chain_untrusted(checked)) {
    need_publisher(model.findings, "authenticode", "the signature does not chain to a certificate of " + checked.ca_file);
  }
  const StubProvenance& stub = model.stub;
  if (stub.compared && !stub.released) {
    need_publisher(model.findings, "stub", "the bootstrapper is not the released msiboot " + stub.version + " stub: " +
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
  model.findings = payload_findings(model.payload, model.lcid);
  add_file_findings(model);
  return model;
}

int exit_status(const SetupModel& model, bool strict) {
  auto counts = [strict](const Finding& f) { return strict || !f.warning; };
  return std::any_of(model.findings.begin(), model.findings.end(), counts) ? 1 : 0;
}

std::vector<Finding> judge_setup_file(const std::string& path, const Bytes& key) {
  SetupImage image(path);
  return payload_findings(read_payload(image, key, std::nullopt), std::nullopt);
}

}  // namespace msiboot_tool
