#include "inspect/wording.h"

#include <cstdio>

#include "container/manifest_fields.h"
#include "inspect/status_meaning.h"
#include "payload/package_choice.h"
#include "platform/error_codes.h"

namespace msiboot_tool {
namespace {

std::string hex_byte(uint32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & kPrimaryLanguageMask);
  return text;
}

// What the stub's first two passes found nothing for, and whether the third could run.
std::string unlisted(const LocaleOutcome& outcome) {
  std::string text = "no x64 package lists " + std::to_string(outcome.lcid) + " or its primary language";
  // A package for another architecture lists it, but the stub installs x64 packages only.
  if (outcome.kind != LocaleKind::Other) text += ", only packages the stub never installs (not x64) do";
  return text;
}

}  // namespace

std::string explained(Status status) {
  StatusMeaning meaning = status_meaning(status);
  return status_text(status) + ": " + meaning.meaning + (meaning.remedy.empty() ? "" : "; " + meaning.remedy);
}

std::string record_verdict(Status lookup) {
  switch (status_code(lookup)) {
    case 0: return "signature valid";
    case kErrorFileCorrupt: return "signature does not verify";
    case kErrorBadKey: return "no usable key";
    case kErrorInvalidData: return "does not inflate";
    default: return "not readable";
  }
}

std::string record_name(const RecordReport& record) {
  return std::string(record.manifest ? "manifest" : "file") + " record " + std::to_string(record.id);
}

std::string package_failure(const PackageReport& package) {
  std::string chosen = "entry " + std::to_string(package.entry_id) + " is chosen, but ";
  for (const ItemReport& item : package.items) {
    if (!item.delivered) return chosen + "the record of its " + item.name + " cannot be delivered";
  }
  if (!is_plain_file_name(package.folder)) {
    return chosen + "its folder name \"" + package.folder + "\" is not a plain file name";
  }
  return chosen + "its files cannot be collected: a cabinet name that is not a plain file name, or one name listed "
                  "twice with different contents";
}

std::string locale_words(const SetupReport& setup, const LocaleReport& locale) {
  if (status_failed(setup.discovery)) return "the stub finds no payload: " + status_meaning(setup.discovery).meaning;
  if (status_failed(locale.status) && locale.package >= 0) {
    return package_failure(setup.packages[static_cast<size_t>(locale.package)]);
  }
  return locale_reason(locale.outcome);
}

std::string locale_subject(const LocaleOutcome& outcome) {
  switch (outcome.kind) {
    case LocaleKind::Listed: return std::to_string(outcome.lcid);
    case LocaleKind::Primary:
      return "other locales of primary language " + hex_byte(outcome.lcid) + ", as " + std::to_string(outcome.lcid);
    case LocaleKind::Other: break;
  }
  return "every other locale, as " + std::to_string(outcome.lcid);
}

std::string locale_reason(const LocaleOutcome& outcome) {
  const std::string matched = std::to_string(outcome.matched);
  switch (outcome.pass) {
    case ChoicePass::Exact: return "it lists " + matched;
    case ChoicePass::Primary: return "it lists " + matched + ", of the same primary language";
    case ChoicePass::Fallback:
      return unlisted(outcome) + "; it lists " + matched + ", which every other locale falls back to";
    case ChoicePass::None: break;
  }
  if (outcome.lcid == kFallbackLanguage) return unlisted(outcome);
  return unlisted(outcome) + ", and none lists " + std::to_string(kFallbackLanguage);
}

}  // namespace msiboot_tool
