#include "payload_section.h"

#include <algorithm>
#include <cstdio>

#include "locale_wording.h"
#include "manifest_fields.h"
#include "shared/error_codes.h"
#include "status_meaning.h"
#include "stub_key_slot.h"

namespace msiboot_tool {
namespace {

// The key's SHA-256, or "none" for an empty slot.
std::string fingerprint(const Bytes& key) {
  std::string digest = key_sha256(key);
  return digest.empty() ? "none" : digest;
}

std::string joined(const std::vector<uint32_t>& numbers) {
  std::string text;
  for (uint32_t n : numbers) text += (text.empty() ? "" : ";") + std::to_string(n);
  return text;
}

ReportJson status_json(Status status) {
  StatusMeaning meaning = status_meaning(status);
  ReportJson json = {{"code", status_code(status)}, {"site", status_site(status)}, {"meaning", meaning.meaning}};
  if (!meaning.remedy.empty()) json["remedy"] = meaning.remedy;
  return json;
}

// "code 13 at site 2151: what it means; what to do"
std::string explained(Status status) {
  StatusMeaning meaning = status_meaning(status);
  return status_text(status) + ": " + meaning.meaning + (meaning.remedy.empty() ? "" : "; " + meaning.remedy);
}

std::string verdict(Status lookup) {
  switch (status_code(lookup)) {
    case 0: return "signature valid";
    case kErrorFileCorrupt: return "signature does not verify";
    case kErrorBadKey: return "no usable key";
    case kErrorInvalidData: return "does not inflate";
    default: return "not readable";
  }
}

std::string record_name(const RecordReport& r) {
  return std::string(r.manifest ? "manifest" : "file") + " record " + std::to_string(r.id);
}

ReportJson binding_json(const RecordBinding& binding) {
  if (binding.state == kBindingAbsent) return nullptr;
  if (binding.state == kBindingMalformed) return "malformed";
  return {{"sha256", binding_text(binding).substr(7, 2 * kContentDigestSize)}, {"size", binding.size}};
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

std::string entry_text(const EntryFields& e) {
  std::string text = e.kind == EntryKind::Package
                         ? "package " + e.architecture + ", languages " + joined(e.languages) + ", folder " + e.folder +
                               ", title \"" + e.title + "\""
                     : e.kind == EntryKind::Cabinet ? "cabinet " + e.file + " of package " + joined(e.packages)
                                                    : "not read by the stub: " + e.text;
  char id[16];
  std::snprintf(id, sizeof id, "%6u", e.id);
  std::string binding = binding_text(e.binding);
  return "    entry " + std::string(id) + "  " + text + "\n" +
         (binding.empty() ? "" : "                  bound to " + binding + "\n");
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

std::string record_text(const RecordReport& r) {
  char line[160];
  std::string inflated = r.inflates ? std::to_string(r.inflated_size) : "-";
  std::string outcome = verdict(r.lookup) + (status_failed(r.lookup) ? " (" + status_text(r.lookup) + ")" : "");
  std::snprintf(line, sizeof line, "    %-8s %6u  stored %u, inflated %s, %s\n", r.manifest ? "manifest" : "file",
                r.id, r.stored_size, inflated.c_str(), outcome.c_str());
  return line;
}

std::string where(const ContainerReport& c) {
  std::string text = placement_name(c.placement);
  if (c.placement == Placement::Certificate) {
    text = "in certificate " + std::to_string(c.certificate) + ", extension " + std::to_string(c.extension);
  } else {
    text += ", offset " + std::to_string(c.offset);
  }
  text += ", " + std::to_string(c.size) + " bytes";
  return c.reached ? text : text + ", before the certificate table: the stub never reads it";
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

// Why a package that a locale's entry names is not installed.
std::string package_failure(const PackageReport& p) {
  std::string chosen = "entry " + std::to_string(p.entry_id) + " is chosen, but ";
  for (const ItemReport& item : p.items) {
    if (!item.delivered) return chosen + "the record of its " + item.name + " cannot be delivered";
  }
  if (!is_plain_file_name(p.folder)) return chosen + "its folder name \"" + p.folder + "\" is not a plain file name";
  return chosen + "its files cannot be collected: a cabinet name that is not a plain file name, or one name listed "
                  "twice with different contents";
}

std::string package_label(const PackageReport& p) {
  return "entry " + std::to_string(p.entry_id) + " of container " + std::to_string(p.container);
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

std::string items_text(const PackageReport& p, const char* indent) {
  std::string text;
  for (const ItemReport& item : p.items) {
    std::string size = item.delivered ? std::to_string(item.size) + " bytes" : "not delivered";
    text += indent + item.name + "  " + size + "\n";
  }
  return text;
}

std::string package_text(const PackageReport& p) {
  std::string text = "    " + package_label(p) + ": " + p.architecture + ", languages " + joined(p.languages) +
                     ", folder " + p.folder + ", title \"" + title_as_shown(p.title) + "\"\n";
  if (status_failed(p.status)) {
    text += "      not delivered (" + status_text(p.status) + "): " + package_failure(p) + "\n";
  }
  return text + items_text(p, "      ");
}

std::string kind_name(LocaleKind kind) {
  return kind == LocaleKind::Listed ? "listed" : kind == LocaleKind::Primary ? "primary" : "other";
}

std::string pass_name(ChoicePass pass) {
  switch (pass) {
    case ChoicePass::Exact: return "exact";
    case ChoicePass::Primary: return "primary";
    case ChoicePass::Fallback: return "fallback";
    case ChoicePass::None: break;
  }
  return "none";
}

// Why the locale gets its package, or why it gets nothing.
std::string locale_words(const SetupReport& s, const LocaleReport& l) {
  if (status_failed(s.discovery)) return "the stub finds no payload: " + status_meaning(s.discovery).meaning;
  if (status_failed(l.status) && l.package >= 0) return package_failure(s.packages[static_cast<size_t>(l.package)]);
  return locale_reason(l.outcome);
}

const PackageReport* package_of(const SetupReport& s, const LocaleReport& l) {
  return l.package < 0 ? nullptr : &s.packages[static_cast<size_t>(l.package)];
}

ReportJson locale_json(const SetupReport& s, const LocaleReport& l) {
  const LocaleOutcome& o = l.outcome;
  return {{"kind", kind_name(o.kind)}, {"lcid", o.lcid}, {"primary_language", o.lcid & 0xFF},
          {"subject", locale_subject(o)}, {"pass", pass_name(o.pass)}, {"installs", !status_failed(l.status)},
          {"package", l.package < 0 ? ReportJson(nullptr) : ReportJson(l.package)},
          {"reason", locale_words(s, l)}, {"status", status_json(l.status)}};
}

std::string locale_text(const SetupReport& s, const LocaleReport& l) {
  const PackageReport* p = package_of(s, l);
  std::string gets = status_failed(l.status) || p == nullptr
                         ? "nothing"
                         : package_label(*p) + ", \"" + title_as_shown(p->title) + "\"";
  return "    " + locale_subject(l.outcome) + ": " + gets + " (" + locale_words(s, l) + ")\n";
}

void add_locales(InspectReport& report, const SetupReport& s) {
  ReportJson packages = ReportJson::array(), locales = ReportJson::array();
  std::string packages_text = s.packages.empty() ? "" : "  packages:\n", locales_text = "  locales:\n";
  for (const PackageReport& p : s.packages) {
    packages.push_back(package_json(p));
    packages_text += package_text(p);
  }
  for (const LocaleReport& l : s.locales) {
    locales.push_back(locale_json(s, l));
    locales_text += locale_text(s, l);
  }
  if (status_failed(s.discovery)) {
    packages_text.clear();
    locales_text = "  locales: none gets a package: the stub finds no payload (" + status_text(s.discovery) + ")\n";
  }
  report.add("packages", packages, packages_text);
  report.add("locales", locales, locales_text);
}

// The one locale asked for, as the stub would answer it.
void add_choice(InspectReport& report, const SetupReport& s) {
  const LocaleReport& l = s.locales.front();
  const PackageReport* p = package_of(s, l);
  bool installs = !status_failed(l.status);
  uint32_t language = l.outcome.pass == ChoicePass::Fallback ? kFallbackLanguage : l.outcome.lcid;
  ReportJson json = {{"lcid", l.outcome.lcid}, {"language", language}, {"kind", kind_name(l.outcome.kind)},
                     {"pass", pass_name(l.outcome.pass)}, {"installs", installs},
                     {"status", status_json(l.status)}, {"reason", locale_words(s, l)}};
  std::string text = "  for " + std::to_string(l.outcome.lcid) + ": ";
  if (p != nullptr) {
    const ReportJson package = package_json(*p);
    for (const auto& [key, value] : package.items()) {
      if (key != "status") json[key] = value;
    }
  }
  if (installs && p != nullptr) {
    text += package_label(*p) + " (" + p->architecture + ", " + joined(p->languages) + "), folder " + p->folder +
            ", title \"" + title_as_shown(p->title) + "\" (" + locale_words(s, l) + ")\n";
  } else {
    text += "nothing is installed: " + locale_words(s, l) + " (" + status_text(l.status) + ")\n";
  }
  report.add("choice", json, p == nullptr ? text : text + items_text(*p, "    "));
}

void add_containers(InspectReport& report, const SetupReport& s, bool key_given) {
  report.add("key", {{"source", key_given ? "given" : "stub"}, {"sha256", fingerprint(s.key)}},
             "  key (" + std::string(key_given ? "given" : "the stub's own") + "): " +
                 (is_empty_key(s.key) ? "none: the stub trusts no key until stamped" : "sha256 " + fingerprint(s.key)) +
                 "\n");
  ReportJson containers = ReportJson::array();
  std::string text;
  for (size_t i = 0; i < s.containers.size(); ++i) {
    const ContainerReport& c = s.containers[i];
    containers.push_back(container_json(c));
    text += "  container " + std::to_string(i) + ": " + where(c) + "\n";
    for (const RecordReport& r : c.records) text += record_text(r);
    for (const EntryFields& e : c.entries) text += entry_text(e);
  }
  report.add("containers", containers, text);
  report.add("discovery", status_json(s.discovery), "");
}

constexpr char kSignedAfterPacking[] =
    "ends just before the certificate table: the file was signed after its container was appended, so the "
    "stub, which reads an appended container from the end of the file, meets the signature instead and every "
    "user sees the corruption message (1168). Pack into the signed stub instead (msiboot pack --stub SIGNED.exe "
    "--placement certificate, or signature-tail), or prepare the stub first (brand and stamp it with msiboot stub, sign it), then "
    "pack into it";

// A container's failing records, one finding per failure with the records that meet it.
void add_record_findings(InspectReport& report, const std::string& name, const ContainerReport& c) {
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
    report.need_publisher("containers", name + ", " + records + ": " + explained(status));
  }
}

// Findings about the containers; true when one of them explains why the stub finds no payload.
bool add_container_findings(InspectReport& report, const SetupReport& s) {
  bool explains = false;
  for (size_t i = 0; i < s.containers.size(); ++i) {
    const ContainerReport& c = s.containers[i];
    const std::string name = "container " + std::to_string(i);
    if (!c.reached) report.need_publisher("containers", name + " " + kSignedAfterPacking);
    if (c.reached) add_record_findings(report, name, c);
    auto meets_discovery_failure = [&s](const RecordReport& r) { return r.lookup == s.discovery; };
    explains = explains || !c.reached || std::any_of(c.records.begin(), c.records.end(), meets_discovery_failure);
  }
  return explains;
}

void add_findings(InspectReport& report, const SetupReport& s, bool one_locale) {
  bool explained_above = add_container_findings(report, s);
  if (status_failed(s.discovery)) {
    std::string why = explained_above ? status_text(s.discovery) + ", as above" : explained(s.discovery);
    report.need_publisher("discovery", "the stub finds no payload: " + why);
    return;
  }
  bool any = false;
  for (const LocaleReport& l : s.locales) {
    any = any || !status_failed(l.status);
    if (!status_failed(l.status) || (!one_locale && l.outcome.kind != LocaleKind::Listed)) continue;
    report.need_publisher(one_locale ? "choice" : "locales",
                          locale_subject(l.outcome) + " gets nothing: " + locale_words(s, l) + " (" +
                              status_text(l.status) + "); " + status_meaning(l.status).remedy);
  }
  if (!any && !one_locale) report.need_publisher("locales", "no locale gets a package");
}

}  // namespace

void add_payload_sections(InspectReport& report, const SetupReport& setup, bool key_given,
                          std::optional<uint32_t> lcid) {
  add_containers(report, setup, key_given);
  if (lcid) {
    add_choice(report, setup);
  } else {
    add_locales(report, setup);
  }
  add_findings(report, setup, lcid.has_value());
}

}  // namespace msiboot_tool
