#include "packages/locale_outcomes.h"

#include <algorithm>
#include <set>

#include "payload/manifest.h"
#include "payload/package_choice.h"

namespace msiboot_tool {
namespace {

int collect_languages(uint32_t, const ManifestEntry& entry, void* context) {
  if (entry.kind != kEntryPackage) return 1;
  const char* cursor = entry.fields[kFieldLanguages];
  uint32_t listed = 0;
  auto* languages = static_cast<std::vector<uint32_t>*>(context);
  while (next_listed_number(&cursor, &listed)) {
    uint32_t language = listed & kLanguageMask;
    if (language != 0 && std::find(languages->begin(), languages->end(), language) == languages->end()) {
      languages->push_back(language);
    }
  }
  return 1;
}

std::vector<uint32_t> listed_languages(const PayloadSet& payload) {
  std::vector<uint32_t> order;
  walk_manifest(payload, collect_languages, &order);
  return order;
}

// An unlisted locale of the given primary language: its sublanguages in turn (2057 for English
// when 1033 is listed), passing over 1033, which the stub's third pass treats apart.
uint32_t unlisted_with_primary(uint32_t primary, const std::set<uint32_t>& listed) {
  for (uint32_t sublanguage = 1; sublanguage < 64; ++sublanguage) {
    uint32_t lcid = sublanguage << 10 | primary;
    if (lcid != kFallbackLanguage && listed.count(lcid) == 0) return lcid;
  }
  return 0;
}

// The listed language of the chosen entry that the pass matched.
uint32_t matched_language(const PackageChoice& choice, uint32_t language) {
  const char* cursor = choice.languages;
  uint32_t listed = 0;
  while (next_listed_number(&cursor, &listed)) {
    if (language_matches(listed, language, choice.match_primary)) return listed & kLanguageMask;
  }
  return 0;
}

// The stub's choice for outcome.lcid, and the pass that made it.
void choose_for(const PayloadSet& payload, LocaleOutcome& outcome) {
  uint32_t language = outcome.lcid;
  PackageChoice choice;
  if (!choose_package_entry(payload, &language, choice)) return;
  outcome.entry_id = choice.entry_id;
  outcome.blob_index = choice.blob_index;
  outcome.pass = choice.match_primary != 0 ? ChoicePass::Primary
                 : language != outcome.lcid ? ChoicePass::Fallback
                                            : ChoicePass::Exact;
  outcome.matched = matched_language(choice, language);
}

}  // namespace

std::vector<LocaleOutcome> locale_outcomes(const PayloadSet& payload) {
  std::vector<uint32_t> order = listed_languages(payload);
  std::set<uint32_t> listed(order.begin(), order.end()), primaries;
  std::vector<LocaleOutcome> outcomes;
  for (uint32_t language : order) outcomes.push_back({language, LocaleKind::Listed});
  for (uint32_t language : order) {
    uint32_t primary = language & kPrimaryLanguageMask;
    uint32_t lcid = primaries.insert(primary).second ? unlisted_with_primary(primary, listed) : 0;
    if (lcid != 0) outcomes.push_back({lcid, LocaleKind::Primary});
  }
  for (uint32_t primary = 1; primary <= kPrimaryLanguageMask; ++primary) {
    if (primary == (kFallbackLanguage & kPrimaryLanguageMask) || primaries.count(primary) != 0) continue;
    outcomes.push_back({0x400 | primary, LocaleKind::Other});
    break;
  }
  for (LocaleOutcome& outcome : outcomes) choose_for(payload, outcome);
  return outcomes;
}

std::vector<LocaleOutcome> locale_outcomes(const Bytes& manifest) {
  PayloadBlob blob = {};
  blob.manifest = const_cast<uint8_t*>(manifest.data());  // the walk only reads it
  blob.manifest_size = static_cast<uint32_t>(manifest.size());
  return locale_outcomes(PayloadSet{&blob, 1, nullptr});
}

LocaleOutcome locale_outcome(const PayloadSet& payload, uint32_t lcid) {
  std::vector<uint32_t> order = listed_languages(payload);
  auto lists = [&order, lcid](uint32_t match_primary) {
    return std::any_of(order.begin(), order.end(),
                       [=](uint32_t listed) { return language_matches(listed, lcid, match_primary); });
  };
  LocaleOutcome outcome = {lcid, lists(0) ? LocaleKind::Listed : lists(1) ? LocaleKind::Primary : LocaleKind::Other};
  choose_for(payload, outcome);
  return outcome;
}

}  // namespace msiboot_tool
