#include "authenticode_output.h"

namespace msiboot_tool {
namespace {

using nlohmann::json;

json text_or_null(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

std::string trust_source(const AuthenticodeReport& report) {
  return report.ca_file.empty() ? "system store" : "CA file " + report.ca_file;
}

std::string summary(const SignatureCheck& check, const AuthenticodeReport& report) {
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

void add_details(std::vector<std::string>& lines, const SignatureCheck& check) {
  if (!check.signer_subject.empty()) {
    lines.push_back("    signer " + check.signer_subject + ", issued by " + check.signer_issuer + ", valid " +
                    check.not_before + " to " + check.not_after);
  }
  if (check.timestamp) {
    const Timestamp& stamp = *check.timestamp;
    lines.push_back("    timestamp " + (stamp.time.empty() ? "unknown" : stamp.time) +
                    (stamp.rfc3161 ? " (RFC 3161, " : " (PKCS #9 countersignature, ") +
                    (stamp.verified ? "verified)" : "does not verify: " + stamp.problem + ")"));
  }
  if (check.digest_matches) {
    lines.push_back("    image digest " + check.image_digest);
  } else if (!check.signed_digest.empty()) {
    lines.push_back("    image digest signed " + check.signed_digest + ", computed " +
                    (check.image_digest.empty() ? "none" : check.image_digest));
  }
}

void add_notes(std::vector<std::string>& lines, const AuthenticodeReport& report) {
  if (report.appended_before_table != 0) {
    lines.push_back("    note: the signature covers " + std::to_string(report.appended_before_table) +
                    " bytes appended to the image before it was signed");
  }
  if (report.after_signature != 0) {
    lines.push_back("    note: " + std::to_string(report.after_signature) +
                    " bytes follow the signature inside its certificate entry, outside the image digest");
  }
  if (report.after_table != 0) {
    lines.push_back("    note: " + std::to_string(report.after_table) +
                    " bytes follow the certificate table; the image digest covers them, signing tools put none there");
  }
}

json signature_json(const SignatureCheck& check, bool nested) {
  json timestamp = nullptr;
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
    default: return "unsigned";
  }
}

}  // namespace

std::vector<std::string> authenticode_lines(const AuthenticodeReport& report) {
  if (report.state == SignatureState::Unsigned) return {"  authenticode: not signed"};
  if (report.state == SignatureState::Unreadable) {
    return {"  authenticode: the certificate table cannot be read: " + report.problem};
  }
  std::vector<std::string> lines;
  for (size_t i = 0; i < report.signatures.size(); ++i) {
    const std::string head = i == 0 ? "  authenticode: signed, " : "  nested signature " + std::to_string(i) + ": ";
    lines.push_back(head + summary(report.signatures[i], report));
    add_details(lines, report.signatures[i]);
  }
  add_notes(lines, report);
  return lines;
}

json authenticode_json(const AuthenticodeReport& report) {
  json signatures = json::array();
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

}  // namespace msiboot_tool
