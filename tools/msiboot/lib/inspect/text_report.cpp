#include "inspect/text_report.h"

#include <cstdio>

#include "container/manifest_fields.h"
#include "inspect/shown_text.h"
#include "inspect/status_meaning.h"
#include "inspect/wording.h"
#include "pe/key_slot.h"

namespace msiboot_tool {
namespace {

std::string joined(const std::vector<uint32_t>& numbers) {
  std::string text;
  for (uint32_t n : numbers) text += (text.empty() ? "" : ";") + std::to_string(n);
  return text;
}

std::string key_text(const SetupModel& model) {
  const Bytes& key = model.payload.key;
  return "  key (" + std::string(model.key_given ? "given" : "the stub's own") + "): " +
         (is_empty_key(key) ? "none: the stub trusts no key until stamped" : "sha256 " + key_sha256(key)) + "\n";
}

std::string entry_text(const EntryFields& e) {
  std::string text = e.kind == EntryKind::Package
                         ? "package " + e.architecture + ", languages " + joined(e.languages) + ", folder " +
                               shown(e.folder) + ", title \"" + shown(e.title) + "\""
                     : e.kind == EntryKind::Cabinet ? "cabinet " + shown(e.file) + " of package " + joined(e.packages)
                                                    : "not read by the stub: " + shown(e.text);
  char id[16];
  std::snprintf(id, sizeof id, "%6u", e.id);
  std::string binding = shown_binding(e.binding);
  return "    entry " + std::string(id) + "  " + text + "\n" +
         (binding.empty() ? "" : "                  bound to " + binding + "\n");
}

std::string record_text(const RecordReport& r) {
  char line[160];
  std::string inflated = r.inflates ? std::to_string(r.inflated_size) : "-";
  std::string outcome = record_verdict(r.lookup) + (status_failed(r.lookup) ? " (" + status_text(r.lookup) + ")" : "");
  std::snprintf(line, sizeof line, "    %-8s %6u  stored %u, inflated %s, %s\n", r.manifest ? "manifest" : "file",
                r.id, r.stored_size, inflated.c_str(), outcome.c_str());
  return line;
}

std::string where(const ContainerReport& c) {
  std::string text = c.placement == Placement::Certificate
                         ? "in certificate " + std::to_string(c.certificate) + ", extension " + std::to_string(c.extension)
                         : std::string(placement_name(c.placement)) + ", offset " + std::to_string(c.offset);
  text += ", " + std::to_string(c.size) + " bytes";
  return c.reached ? text : text + ", before the certificate table: the stub never reads it";
}

std::string containers_text(const SetupReport& s) {
  std::string text;
  for (size_t i = 0; i < s.containers.size(); ++i) {
    const ContainerReport& c = s.containers[i];
    text += "  container " + std::to_string(i) + ": " + where(c) + "\n";
    for (const RecordReport& r : c.records) text += record_text(r);
    for (const EntryFields& e : c.entries) text += entry_text(e);
  }
  return text;
}

std::string package_label(const PackageReport& p) {
  return "entry " + std::to_string(p.entry_id) + " of container " + std::to_string(p.container);
}

std::string items_text(const PackageReport& p, const char* indent) {
  std::string text;
  for (const ItemReport& item : p.items) {
    std::string size = item.delivered ? std::to_string(item.size) + " bytes" : "not delivered";
    text += indent + shown(item.name) + "  " + size + "\n";
  }
  return text;
}

std::string package_text(const PackageReport& p) {
  std::string text = "    " + package_label(p) + ": " + p.architecture + ", languages " + joined(p.languages) +
                     ", folder " + shown(p.folder) + ", title \"" + shown(title_as_shown(p.title)) + "\"\n";
  if (status_failed(p.status)) {
    text += "      not delivered (" + status_text(p.status) + "): " + package_failure(p) + "\n";
  }
  return text + items_text(p, "      ");
}

const PackageReport* package_of(const SetupReport& s, const LocaleReport& l) {
  return l.package < 0 ? nullptr : &s.packages[static_cast<size_t>(l.package)];
}

std::string locale_text(const SetupReport& s, const LocaleReport& l) {
  const PackageReport* p = package_of(s, l);
  std::string gets = status_failed(l.status) || p == nullptr
                         ? "nothing"
                         : package_label(*p) + ", \"" + shown(title_as_shown(p->title)) + "\"";
  return "    " + locale_subject(l.outcome) + ": " + gets + " (" + locale_words(s, l) + ")\n";
}

std::string locales_text(const SetupReport& s) {
  if (status_failed(s.discovery)) {
    return "  locales: none gets a package: the stub finds no payload (" + status_text(s.discovery) + ")\n";
  }
  std::string text = s.packages.empty() ? "" : "  packages:\n";
  for (const PackageReport& p : s.packages) text += package_text(p);
  text += "  locales:\n";
  for (const LocaleReport& l : s.locales) text += locale_text(s, l);
  return text;
}

// The one locale asked for, as the stub would answer it.
std::string choice_text(const SetupReport& s) {
  const LocaleReport& l = s.locales.front();
  const PackageReport* p = package_of(s, l);
  std::string text = "  for " + std::to_string(l.outcome.lcid) + ": ";
  if (!status_failed(l.status) && p != nullptr) {
    text += package_label(*p) + " (" + p->architecture + ", " + joined(p->languages) + "), folder " + shown(p->folder) +
            ", title \"" + shown(title_as_shown(p->title)) + "\" (" + locale_words(s, l) + ")\n";
  } else {
    text += "nothing is installed: " + locale_words(s, l) + " (" + status_text(l.status) + ")\n";
  }
  return p == nullptr ? text : text + items_text(*p, "    ");
}

std::string branding_text(const SetupModel& model) {
  if (!model.branding) return "  resources: not readable (" + model.branding_problem + ")\n";
  std::string sizes;
  for (const IconSize& image : model.branding->icon) {
    sizes += (sizes.empty() ? "" : ", ") + std::to_string(image.width) + "x" + std::to_string(image.height) + " " +
             std::to_string(image.bit_count) + "-bit";
  }
  std::string text = "  icon: " + (sizes.empty() ? "none" : sizes) + "\n";
  std::string languages;
  for (uint16_t language : model.branding->message_languages) {
    languages += (languages.empty() ? "" : ", ") + std::to_string(language);
  }
  text += "  messages in languages: " + (languages.empty() ? "none" : languages) + "\n";
  const auto& v = model.branding->version;
  if (!v) return text + "  version information: none\n";
  text += "  version information: file " + version_text(v->file_version) + ", product " +
          version_text(v->product_version) + "\n";
  for (const auto& [name, value] : v->strings) text += "    " + shown(name) + ": " + shown(value) + "\n";
  return text;
}

std::string trust_source(const AuthenticodeReport& report) {
  return report.ca_file.empty() ? "system store" : "CA file " + report.ca_file;
}

std::string signature_summary(const SignatureCheck& check, const AuthenticodeReport& report) {
  std::string text = check.digest_algorithm.empty() ? "unknown digest" : check.digest_algorithm;
  if (!check.digest_problem.empty()) {
    text += ", image digest not compared (" + check.digest_problem + ")";
  } else {
    text += check.digest_matches ? ", image digest matches" : ", image digest does not match";
  }
  text += check.signature_valid ? ", signature valid" : ", signature invalid (" + check.signature_problem + ")";
  text += check.chain_trusted ? ", chain trusted (" + trust_source(report) + ")"
                              : ", chain not trusted (" + trust_source(report) + ": " + check.chain_problem + ")";
  return text;
}

std::string signature_details(const SignatureCheck& check) {
  std::string text;
  if (!check.signer_subject.empty()) {
    text += "    signer " + check.signer_subject + ", issued by " + check.signer_issuer + ", valid " + check.not_before +
            " to " + check.not_after + "\n";
  }
  if (check.timestamp) {
    const Timestamp& stamp = *check.timestamp;
    text += "    timestamp " + (stamp.time.empty() ? "unknown" : stamp.time) +
            (stamp.rfc3161 ? " (RFC 3161, " : " (PKCS #9 countersignature, ") +
            (stamp.verified ? "verified)" : "does not verify: " + stamp.problem + ")") + "\n";
  }
  if (check.digest_matches) {
    text += "    image digest " + check.image_digest + "\n";
  } else if (!check.signed_digest.empty()) {
    text += "    image digest signed " + check.signed_digest + ", computed " +
            (check.image_digest.empty() ? "none" : check.image_digest) + "\n";
  }
  return text;
}

std::string signature_notes(const AuthenticodeReport& report) {
  std::string text;
  if (report.appended_before_table != 0) {
    text += "    note: the signature covers " + std::to_string(report.appended_before_table) +
            " bytes appended to the image before it was signed\n";
  }
  if (report.after_signature != 0) {
    text += "    note: " + std::to_string(report.after_signature) +
            " bytes follow the signature inside its certificate entry, outside the image digest\n";
  }
  if (report.after_table != 0) {
    text += "    note: " + std::to_string(report.after_table) +
            " bytes follow the certificate table; the image digest covers them, signing tools put none there\n";
  }
  return text;
}

std::string stub_verdict(const StubProvenance& provenance) {
  std::string stub = "the released msiboot " + provenance.version + " stub";
  if (provenance.branded) stub += " branded with its own icon, version information or message languages";
  if (provenance.released) {
    return stub + (provenance.key_sha256.empty() ? ", key slot empty (it trusts no key)"
                                                  : ", key sha256 " + provenance.key_sha256);
  }
  char offset[48];
  std::snprintf(offset, sizeof offset, "%llu (0x%llx)", static_cast<unsigned long long>(provenance.first_difference),
                static_cast<unsigned long long>(provenance.first_difference));
  bool one = provenance.differing_bytes == 1;
  return "not " + stub + ": " + std::to_string(provenance.differing_bytes) + (one ? " byte differs" : " bytes differ") +
         ", the first at offset " + offset;
}

std::string findings_text(const SetupModel& model) {
  bool needs = exit_status(model) != 0;
  std::string text = model.findings.empty() ? "  nothing needs the publisher\n"
                     : needs                ? "  needs the publisher:\n"
                                            : "  nothing needs the publisher, but:\n";
  for (const Finding& f : model.findings) text += std::string("    - ") + (f.warning ? "warning: " : "") + shown(f.text) + "\n";
  return text;
}

}  // namespace

std::string authenticode_text(const AuthenticodeReport& report) {
  if (report.state == SignatureState::Unsigned) return "  authenticode: not signed\n";
  if (report.state == SignatureState::Unreadable) {
    return "  authenticode: the certificate table cannot be read: " + report.problem + "\n";
  }
  std::string text;
  for (size_t i = 0; i < report.signatures.size(); ++i) {
    text += i == 0 ? "  authenticode: signed, " : "  nested signature " + std::to_string(i) + ": ";
    text += signature_summary(report.signatures[i], report) + "\n" + signature_details(report.signatures[i]);
  }
  return text + signature_notes(report);
}

std::string stub_provenance_text(const StubProvenance& provenance) {
  if (!provenance.compared) return "  stub: not compared with the released stub: " + provenance.problem + "\n";
  std::string text = "  stub: " + stub_verdict(provenance) + "\n";
  if (!provenance.stub_file.empty()) text += "    compared with " + provenance.stub_file + "\n";
  return text;
}

std::string render_text(const SetupModel& model) {
  const SetupReport& s = model.payload;
  return shown_lines(shown(model.file) + "\n" + key_text(model) + containers_text(s) +
                     (model.lcid ? choice_text(s) : locales_text(s)) + branding_text(model) +
                     authenticode_text(model.authenticode) + stub_provenance_text(model.stub) + findings_text(model));
}

}  // namespace msiboot_tool
