#include "locale_wording.h"

#include <cstdio>

#include "payload/package_choice.h"

namespace msiboot_tool {
namespace {

std::string hex_byte(uint32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
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
