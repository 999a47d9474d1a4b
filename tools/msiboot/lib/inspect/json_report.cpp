#include "inspect/json_report.h"

#include "container/manifest_fields.h"
#include "files/byte_buffer.h"
#include "inspect/status_meaning.h"
#include "inspect/wording.h"
#include "payload/package_choice.h"
#include "pe/key_slot.h"

namespace msiboot_tool {
namespace {

ReportJson text_or_null(const std::string& text) { return text.empty() ? ReportJson(nullptr) : ReportJson(text); }

ReportJson status_json(Status status) {
  StatusMeaning meaning = status_meaning(status);
  ReportJson json = {{"code", status_code(status)}, {"site", status_site(status)}, {"meaning", meaning.meaning}};
  if (!meaning.remedy.empty()) json["remedy"] = meaning.remedy;
  return json;
}

ReportJson binding_json(const RecordBinding& binding) {
  if (binding.state == kBindingAbsent) return nullptr;
  if (binding.state == kBindingMalformed) return "malformed";
  return {{"sha256", hex_text(binding.digest)}, {"size", binding.size}};
}

ReportJson entry_json(const EntryFields& e) {
  switch (e.kind) {
    case EntryKind::Package:
      return {{"id", e.id}, {"kind", "package"}, {"architecture", e.architecture}, {"languages", e.languages},
              {"folder", e.folder}, {"title", e.title}, {"binding", binding_json(e.binding)}};
    case EntryKind::Cabinet:
      return {{"id", e.id}, {"kind", "cabinet"}, {"packages", e.packages}, {"file", e.file},
              {"binding", binding_json(e.binding)}};
    case EntryKind::Unread: break;
  }
  return {{"id", e.id}, {"kind", "unread"}, {"text", e.text}};
}

ReportJson record_json(const RecordReport& r) {
  return {{"type", r.manifest ? "manifest" : "file"},
          {"id", r.id},
          {"stored_size", r.stored_size},
          {"signature_size", r.signature_size},
          {"inflated_size", r.inflates ? ReportJson(r.inflated_size) : ReportJson(nullptr)},
          {"signature_valid", !status_failed(r.lookup)},
          {"lookup", status_json(r.lookup)}};
}

ReportJson container_json(const ContainerReport& c) {
  ReportJson json = {{"placement", placement_name(c.placement)}};
  if (c.placement == Placement::Certificate) {
    json["certificate"] = c.certificate;
    json["extension"] = c.extension;
  } else {
    json["offset"] = c.offset;
  }
  json["size"] = c.size;
  json["found_by_stub"] = c.reached;
  json["records"] = ReportJson::array();
  for (const RecordReport& r : c.records) json["records"].push_back(record_json(r));
  json["manifest"] = ReportJson::array();
  for (const EntryFields& e : c.entries) json["manifest"].push_back(entry_json(e));
  return json;
}

ReportJson package_json(const PackageReport& p) {
  ReportJson items = ReportJson::array();
  for (const ItemReport& item : p.items) {
    items.push_back({{"name", item.name}, {"size", item.size}, {"delivered", item.delivered}});
  }
  return {{"container", p.container}, {"entry_id", p.entry_id}, {"architecture", p.architecture},
          {"languages", p.languages}, {"folder", p.folder}, {"title", p.title},
          {"title_shown", title_as_shown(p.title)}, {"status", status_json(p.status)}, {"items", items}};
}

const char* kind_name(LocaleKind kind) {
  return kind == LocaleKind::Listed ? "listed" : kind == LocaleKind::Primary ? "primary" : "other";
}

const char* pass_name(ChoicePass pass) {
  switch (pass) {
    case ChoicePass::Exact: return "exact";
    case ChoicePass::Primary: return "primary";
    case ChoicePass::Fallback: return "fallback";
    case ChoicePass::None: break;
  }
  return "none";
}

ReportJson locale_json(const SetupReport& s, const LocaleReport& l) {
  const LocaleOutcome& o = l.outcome;
  return {{"kind", kind_name(o.kind)}, {"lcid", o.lcid}, {"primary_language", o.lcid & kPrimaryLanguageMask},
          {"subject", locale_subject(o)}, {"pass", pass_name(o.pass)}, {"installs", !status_failed(l.status)},
          {"package", l.package < 0 ? ReportJson(nullptr) : ReportJson(l.package)},
          {"reason", locale_words(s, l)}, {"status", status_json(l.status)}};
}

// The one locale asked for, with the fields of the package it gets.
ReportJson choice_json(const SetupReport& s) {
  const LocaleReport& l = s.locales.front();
  uint32_t language = l.outcome.pass == ChoicePass::Fallback ? kFallbackLanguage : l.outcome.lcid;
  ReportJson json = {{"lcid", l.outcome.lcid}, {"language", language}, {"kind", kind_name(l.outcome.kind)},
                     {"pass", pass_name(l.outcome.pass)}, {"installs", !status_failed(l.status)},
                     {"status", status_json(l.status)}, {"reason", locale_words(s, l)}};
  if (l.package < 0) return json;
  const ReportJson package = package_json(s.packages[static_cast<size_t>(l.package)]);
  for (const auto& [key, value] : package.items()) {
    if (key != "status") json[key] = value;
  }
  return json;
}

void add_payload(ReportJson& json, const SetupModel& model) {
  const SetupReport& s = model.payload;
  const std::string fingerprint = key_sha256(s.key);
  json["key"] = {{"source", model.key_given ? "given" : "stub"}, {"sha256", fingerprint.empty() ? "none" : fingerprint}};
  json["containers"] = ReportJson::array();
  for (const ContainerReport& c : s.containers) json["containers"].push_back(container_json(c));
  json["discovery"] = status_json(s.discovery);
  if (model.lcid) {
    json["choice"] = choice_json(s);
    return;
  }
  json["packages"] = ReportJson::array();
  for (const PackageReport& p : s.packages) json["packages"].push_back(package_json(p));
  json["locales"] = ReportJson::array();
  for (const LocaleReport& l : s.locales) json["locales"].push_back(locale_json(s, l));
}

ReportJson branding_json(const SetupModel& model) {
  if (!model.branding) return {{"error", model.branding_problem}};
  ReportJson icon = ReportJson::array();
  for (const IconSize& image : model.branding->icon) {
    icon.push_back({{"width", image.width}, {"height", image.height}, {"bit_count", image.bit_count}});
  }
  ReportJson version = nullptr;
  if (const auto& v = model.branding->version) {
    ReportJson strings = ReportJson::object();
    for (const auto& [name, value] : v->strings) strings[name] = value;
    version = {{"file_version", version_text(v->file_version)},
               {"product_version", version_text(v->product_version)},
               {"strings", strings}};
  }
  return {{"icon", icon}, {"version", version}, {"message_languages", model.branding->message_languages}};
}

ReportJson signature_json(const SignatureCheck& check, bool nested) {
  ReportJson timestamp = nullptr;
  if (check.timestamp) {
    timestamp = {{"time", text_or_null(check.timestamp->time)},
                 {"kind", check.timestamp->rfc3161 ? "rfc3161" : "pkcs9"},
                 {"verified", check.timestamp->verified},
                 {"problem", text_or_null(check.timestamp->problem)}};
  }
  return {{"nested", nested},
          {"digest_algorithm", text_or_null(check.digest_algorithm)},
          {"signed_digest", text_or_null(check.signed_digest)},
          {"image_digest", text_or_null(check.image_digest)},
          {"digest_matches", check.digest_matches},
          {"digest_problem", text_or_null(check.digest_problem)},
          {"signature_valid", check.signature_valid},
          {"signature_problem", text_or_null(check.signature_problem)},
          {"signer", {{"subject", text_or_null(check.signer_subject)}, {"issuer", text_or_null(check.signer_issuer)},
                      {"not_before", text_or_null(check.not_before)}, {"not_after", text_or_null(check.not_after)}}},
          {"timestamp", timestamp},
          {"chain", {{"trusted", check.chain_trusted}, {"problem", text_or_null(check.chain_problem)}}}};
}

const char* state_name(SignatureState state) {
  switch (state) {
    case SignatureState::Signed: return "signed";
    case SignatureState::Unreadable: return "unreadable";
    case SignatureState::Unsigned: break;
  }
  return "unsigned";
}

}  // namespace

ReportJson authenticode_json(const AuthenticodeReport& report) {
  ReportJson signatures = ReportJson::array();
  for (size_t i = 0; i < report.signatures.size(); ++i) signatures.push_back(signature_json(report.signatures[i], i > 0));
  return {{"state", state_name(report.state)},
          {"problem", text_or_null(report.problem)},
          {"ca_file", text_or_null(report.ca_file)},
          {"appended_before_table", report.appended_before_table},
          {"after_signature", report.after_signature},
          {"after_table", report.after_table},
          {"signatures", signatures},
          {"needs_publisher", authenticode_needs_publisher(report)},
          {"chain_untrusted", authenticode_chain_untrusted(report)}};
}

ReportJson stub_provenance_json(const StubProvenance& provenance) {
  ReportJson json = {{"file", provenance.stub_file},
                     {"version", provenance.version},
                     {"compared", provenance.compared},
                     {"released", provenance.released},
                     {"branded", provenance.branded}};
  if (!provenance.compared) {
    json["problem"] = provenance.problem;
  } else if (provenance.released) {
    json["key_sha256"] = text_or_null(provenance.key_sha256);
  } else {
    json["differing_bytes"] = provenance.differing_bytes;
    json["first_difference"] = provenance.first_difference;
  }
  return json;
}

ReportJson render_json(const SetupModel& model) {
  ReportJson json = {{"file", model.file}};
  add_payload(json, model);
  json["branding"] = branding_json(model);
  json["authenticode"] = authenticode_json(model.authenticode);
  json["stub"] = stub_provenance_json(model.stub);
  json["findings"] = ReportJson::array();
  for (const Finding& f : model.findings) json["findings"].push_back({{"section", f.section}, {"text", f.text}, {"warning", f.warning}});
  json["exit_status"] = exit_status(model);
  return json;
}

std::string error_document(const std::string& file, const std::string& kind, const std::string& message) {
  ReportJson document;
  if (!file.empty()) document["file"] = file;
  document["error"] = {{"kind", kind}, {"message", message}};
  return document.dump(2);
}

}  // namespace msiboot_tool
