// Branding the built stub: a resource section that grows past its old size moves the base
// relocations and reads back whole; the resource tree and version information that inspect reads
// from a setup.exe are untrusted, and every damaged byte of them gives an error or a report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "branding/branding_report.h"
#include "branding/stub_branding.h"
#include "files/file_bytes.h"
#include "payload/pe_layout.h"
#include "pe/certificate_table.h"
#include "pe/resources.h"

namespace {

using namespace msiboot_tool;

TEST(StubBranding, AGrownSectionReadsBackAndDamageToItIsAnErrorOrAReport) {
  if (!std::filesystem::exists(MSIBOOT_STUB)) GTEST_SKIP() << "no windows build at " << MSIBOOT_STUB;
  const Bytes stub = read_file_bytes(MSIBOOT_STUB);
  // A 256 px bitmap image (its header only matters here) makes the section four times larger.
  IconImage large{0, 0, 0, 1, 32, Bytes(256 * 256 * 4 + 40, 0x5A)};
  StubBranding branding{{large}, VersionFields{{{3, 1, 4, 1}}, "Product", "Company", "", "© Someone"}};
  const Bytes branded = brand_stub(stub, branding);
  EXPECT_EQ(sections_end(branded), branded.size());
  BrandingReport shown = read_branding(branded);
  ASSERT_EQ(shown.icon.size(), 1u);
  EXPECT_EQ(shown.icon[0].width, 256u);
  ASSERT_TRUE(shown.version);
  EXPECT_EQ(version_text(shown.version->file_version), "3.1.4.1");
  EXPECT_EQ(shown.version->strings.back(), (std::pair<std::string, std::string>{"ProductVersion", "3.1.4.1"}));
  // Branding it again with the same inputs changes nothing.
  EXPECT_EQ(brand_stub(branded, branding), branded);

  // Every byte of the tree's directories, entries, names and the version resource, damaged.
  for (const Resource& r : read_resources(branded)) {
    if (r.type.id == kResourceVersion) {
      for (size_t i = 0; i < r.data.size(); ++i) {
        Bytes damaged = r.data;
        damaged[i] ^= 0xA5;
        try { read_version_resource(damaged); } catch (const std::runtime_error&) {}
      }
    }
  }
  const Bytes rsrc = {'.', 'r', 's', 'r', 'c'};
  size_t header = std::search(branded.begin(), branded.end(), rsrc.begin(), rsrc.end()) - branded.begin();
  const size_t tree = get_u32le(branded, header + pe_layout::kSectionRawOffsetField);
  for (size_t i = tree; i < tree + 0x400; ++i) {
    for (uint8_t value : {0x00, 0x7F, 0xFF}) {
      Bytes damaged = branded;
      damaged[i] = value;
      try { read_branding(damaged); } catch (const std::runtime_error&) {}
    }
  }
}

}  // namespace
