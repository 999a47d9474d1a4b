// What each kind of user gets from a manifest, as pack's warnings and inspect read it: the stub's
// own choice, asked for a listed language, a locale sharing only its primary language, and one
// whose language no package lists.
#include "locale_outcomes.h"

#include <gtest/gtest.h>

#include "manifest_writer.h"

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
       {{1049, K::Listed, 1000}, {1033, K::Listed, 1001}, {0x119, K::Primary, 1000},
        {0x109, K::Primary, 1001}, {0x401, K::Other, 1001}}},
      {"English (UK) only: the fallback to 1033 finds nothing", {{"x64", "2057"}},
       {{2057, K::Listed, 1000}, {0x109, K::Primary, 1000}, {0x401, K::Other, 0}}},
      {"a 32-bit twin is never chosen", {{"Intel", "1033"}, {"x64", "1033"}},
       {{1033, K::Listed, 1001}, {0x109, K::Primary, 1001}, {0x401, K::Other, 1001}}},
      {"32-bit only", {{"Intel", "1033;1049"}},
       {{1033, K::Listed, 0}, {1049, K::Listed, 0}, {0x109, K::Primary, 0}, {0x119, K::Primary, 0},
        {0x401, K::Other, 0}}},
      {"primary 1 listed: another stands for the rest", {{"x64", "1025;0x"}},
       {{1025, K::Listed, 1000}, {0x101, K::Primary, 1000}, {0x402, K::Other, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ManifestWriter manifest;
    uint32_t id = 1000;
    for (const auto& [architecture, languages] : c.packages) manifest.package(id++, architecture, languages, "{P}", "T");
    std::vector<Outcome> outcomes;
    for (const LocaleOutcome& o : locale_outcomes(manifest.bytes())) outcomes.push_back({o.lcid, o.kind, o.entry_id});
    EXPECT_EQ(outcomes, c.expected);
  }
}

}  // namespace
