// What each kind of user gets from a manifest, as pack's warnings and inspect read it: the stub's
// own choice, asked for a listed language, a locale sharing only its primary language, and one
// whose language no package lists; and why, in words.
#include "packages/locale_outcomes.h"

#include <gtest/gtest.h>

#include "container/manifest_writer.h"
#include "inspect/wording.h"

namespace {

using namespace msiboot_tool;

struct Outcome {
  uint32_t lcid;
  LocaleKind kind;
  uint32_t entry_id;
  bool operator==(const Outcome&) const = default;
};

TEST(LocaleOutcomes, EachKindOfUserGetsWhatTheStubChooses) {
  using K = LocaleKind;
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> packages;  // architecture, languages
    std::vector<Outcome> expected;
  };
  const Case cases[] = {
      {"two languages", {{"x64", "1049"}, {"x64", "1033"}},
       {{1049, K::Listed, 1000}, {1033, K::Listed, 1001}, {2073, K::Primary, 1000},
        {2057, K::Primary, 1001}, {0x401, K::Other, 1001}}},
      {"English (UK) only: the fallback to 1033 finds nothing", {{"x64", "2057"}},
       {{2057, K::Listed, 1000}, {3081, K::Primary, 1000}, {0x401, K::Other, 0}}},
      {"a 32-bit twin is never chosen", {{"Intel", "1033"}, {"x64", "1033"}},
       {{1033, K::Listed, 1001}, {2057, K::Primary, 1001}, {0x401, K::Other, 1001}}},
      {"32-bit only", {{"Intel", "1033;1049"}},
       {{1033, K::Listed, 0}, {1049, K::Listed, 0}, {2057, K::Primary, 0}, {2073, K::Primary, 0},
        {0x401, K::Other, 0}}},
      {"primary 1 listed: another stands for the rest", {{"x64", "1025;0x"}},
       {{1025, K::Listed, 1000}, {2049, K::Primary, 1000}, {0x402, K::Other, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ManifestWriter manifest;
    uint32_t id = 1000;
    for (const auto& [architecture, languages] : c.packages) manifest.package(id++, architecture, languages, "{P}", "T");
    // A bound cabinet entry has four fields as well: the packages it lists are no languages.
    manifest.cabinet(1900, {1000}, "a.cab", binding_field({1}));
    std::vector<Outcome> outcomes;
    for (const LocaleOutcome& o : locale_outcomes(manifest.bytes())) outcomes.push_back({o.lcid, o.kind, o.entry_id});
    EXPECT_EQ(outcomes, c.expected);
  }
}

// The stub's view of one manifest: a blob holding it.
PayloadSet payload_of(const ManifestWriter& manifest, PayloadBlob& blob) {
  blob = {};
  blob.manifest = const_cast<uint8_t*>(manifest.bytes().data());  // the walk only reads it
  blob.manifest_size = static_cast<uint32_t>(manifest.bytes().size());
  return {&blob, 1, nullptr};
}

TEST(LocaleOutcomes, OneLocaleIsToldWhyItGetsWhatItGets) {
  ManifestWriter russian, english;
  russian.package(1000, "x64", "1049", "{R}", "R").package(1001, "Intel", "1031", "{D}", "D");
  english.package(1000, "x64", "1033", "{E}", "E");
  PayloadBlob russian_blob, english_blob;
  const PayloadSet payload = payload_of(russian, russian_blob), with_english = payload_of(english, english_blob);
  struct Case {
    const PayloadSet* payload;
    uint32_t lcid;
    LocaleKind kind;
    uint32_t entry_id;
    const char* reason;
  };
  const Case cases[] = {
      {&payload, 1049, LocaleKind::Listed, 1000, "it lists 1049"},
      {&payload, 2073, LocaleKind::Primary, 1000, "it lists 1049, of the same primary language"},
      {&payload, 1036, LocaleKind::Other, 0, "no x64 package lists 1036 or its primary language, and none lists 1033"},
      {&payload, 1033, LocaleKind::Other, 0, "no x64 package lists 1033 or its primary language"},
      {&payload, 1031, LocaleKind::Listed, 0,
       "no x64 package lists 1031 or its primary language, only packages the stub never installs (not x64) do, "
       "and none lists 1033"},
      {&with_english, 1031, LocaleKind::Other, 1000,
       "no x64 package lists 1031 or its primary language; it lists 1033, which every other locale falls back to"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lcid);
    LocaleOutcome outcome = locale_outcome(*c.payload, c.lcid);
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.entry_id, c.entry_id);
    EXPECT_EQ(locale_reason(outcome), c.reason);
  }
}

}  // namespace
