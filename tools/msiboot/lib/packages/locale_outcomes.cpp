#include "locale_outcomes.h"

#include <algorithm>
#include <set>

#include "payload/manifest.h"
#include "payload/package_choice.h"

namespace msiboot_tool {
namespace {

constexpr int kPackageFields = 4;

int collect_languages(uint32_t, uint32_t, const char* text, void* context) {
  ManifestField fields[kPackageFields];
  if (split_manifest_fields(text, fields, kPackageFields) != kPackageFields) return 1;
  const char* cursor = fields[1];
  uint32_t listed = 0;
  auto* languages = static_cast<std::vector<uint32_t>*>(context);
  while (next_listed_number(&cursor, &listed)) {
    uint32_t language = listed & 0xFFFF;  // the stub compares the low 16 bits
    if (language != 0 && std::find(languages->begin(), languages->end(), language) == languages->end()) {
      languages->push_back(language);
    }
  }
  return 1;
}

// A locale with the given low byte that no entry lists; 1033 is passed over, since the stub's
// third pass treats it apart.
uint32_t unlisted_with_primary(uint32_t primary, const std::set<uint32_t>& listed) {
  for (uint32_t high = 1; high < 256; ++high) {
    uint32_t lcid = high << 8 | primary;
    if (lcid != 1033 && listed.count(lcid) == 0) return lcid;
  }
  return 0;
}

}  // namespace

std::vector<LocaleOutcome> locale_outcomes(const Bytes& manifest) {
  PayloadBlob blob = {};
  blob.manifest = const_cast<uint8_t*>(manifest.data());  // the walk only reads it
  blob.manifest_size = static_cast<uint32_t>(manifest.size());
  PayloadSet payload = {&blob, 1, nullptr};
  std::vector<uint32_t> order;
  walk_manifest(payload, collect_languages, &order);
  std::set<uint32_t> listed(order.begin(), order.end()), primaries;
  std::vector<LocaleOutcome> outcomes;
  for (uint32_t language : order) outcomes.push_back({language, LocaleKind::Listed, 0});
  for (uint32_t language : order) {
    uint32_t primary = language & 0xFF;
    uint32_t lcid = primaries.insert(primary).second ? unlisted_with_primary(primary, listed) : 0;
    if (lcid != 0) outcomes.push_back({lcid, LocaleKind::Primary, 0});
  }
  for (uint32_t primary = 1; primary < 256; ++primary) {
    if (primary == (1033 & 0xFF) || primaries.count(primary) != 0) continue;
    outcomes.push_back({0x400 | primary, LocaleKind::Other, 0});
    break;
  }
  for (LocaleOutcome& outcome : outcomes) {
    uint32_t language = outcome.lcid;
    PackageChoice choice;
    if (choose_package_entry(payload, &language, choice)) outcome.entry_id = choice.entry_id;
  }
  return outcomes;
}

}  // namespace msiboot_tool
