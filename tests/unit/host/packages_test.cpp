// Packages as pack reads them (libmsi, on packages of the kinds publishers ship, built here by
// scripts/sample-msi with wixl), the bundle pack plans from them, and the same bytes for the same
// inputs.
#include <gtest/gtest.h>

#include <filesystem>

#include "commands/pack_command.h"
#include "files/file_bytes.h"
#include "files/tool_error.h"
#include "packages/bundle_plan.h"
#include "packages/msi_package.h"
#include "test_files.h"
#include "test_keys.h"
#include "test_process.h"
#include "test_signing.h"

namespace {

namespace fs = std::filesystem;
using namespace msiboot_tool;

class Packages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = msiboot_test::scratch_dir("msiboot-packages");
    for (const Kind& k : kinds()) {
      std::vector<std::string> argv = {std::string(MSIBOOT_SOURCE_DIR) + "/scripts/sample-msi", "--out", dir(k.name),
                                       "--product-code", "{5A4D2000-0000-4000-8000-000000000001}"};
      argv.insert(argv.end(), k.options.begin(), k.options.end());
      ASSERT_EQ(msiboot_test::run_process(argv).exit_code, 0) << k.name;
    }
  }
  static void TearDownTestSuite() { fs::remove_all(work_); }
  struct Kind {
    std::string name;
    std::vector<std::string> options;
    std::string template_text;
    std::vector<std::string> cabinets;
    size_t loose_files;
  };
  static const std::vector<Kind>& kinds() {
    static const std::vector<Kind> all = {
        {"x64", {}, "x64;1033", {"sample.cab"}, 0},
        {"x86-embedded", {"--arch", "x86", "--media", "embedded", "--language", "1049"}, "Intel;1049", {}, 0},
        {"neutral-two", {"--media", "two", "--language", "0"}, "x64;0", {"sample.cab", "sample2.cab"}, 0},
        {"loose", {"--media", "loose"}, "x64;1033", {}, 2},
    };
    return all;
  }
  static std::string dir(const std::string& name) { return (work_ / name).string(); }
  static inline fs::path work_;
};

TEST_F(Packages, EachKindReadsAsItWasBuilt) {
  for (const Kind& k : kinds()) {
    SCOPED_TRACE(k.name);
    MsiPackage msi = read_msi_package(dir(k.name) + "/sample.msi");
    EXPECT_EQ(msi.product_code, "{5A4D2000-0000-4000-8000-000000000001}");
    EXPECT_FALSE(msi.product_name.empty());
    EXPECT_EQ(msi.template_text, k.template_text);
    EXPECT_EQ(msi.cabinets, k.cabinets);
    EXPECT_EQ(msi.loose_files, k.loose_files);
    EXPECT_EQ(msi.first_loose_file, k.loose_files > 0 ? "readme.txt" : "");
  }
  msiboot_test::write_file_bytes(dir("notes.msi"), {'n', 'o', '\n'});
  for (const std::string& path : {dir("notes.msi"), dir("missing.msi")}) {
    try {
      read_msi_package(path);
      ADD_FAILURE() << path;
    } catch (const ToolError& e) {
      EXPECT_EQ(e.file(), path);
    }
  }
}

// A cabinet several packages name is carried once, whatever path leads to it, and so is one with
// the bytes of another under a name of its own; ids count in record order, each package before its
// cabinets.
TEST_F(Packages, TheBundlePlanCarriesEachFileOnce) {
  const std::string x64 = dir("x64"), two = dir("neutral-two");
  std::vector<PlannedPackage> packages(4);
  packages[0].path = x64 + "/sample.msi";
  packages[0].cabinets = {x64 + "/sample.cab"};
  packages[1].path = two + "/sample.msi";
  packages[1].cabinets = {two + "/sample.cab", two + "/sample2.cab"};
  packages[2].path = dir("x86-embedded") + "/sample.msi";
  packages[2].cabinets = {two + "/../x64/sample.cab"};
  fs::create_directories(dir("copy"));
  fs::copy_file(x64 + "/sample.cab", dir("copy/renamed.cab"), fs::copy_options::overwrite_existing);
  packages[3].path = x64 + "/sample.msi";
  packages[3].cabinets = {dir("copy/renamed.cab")};
  const BundlePlan plan = plan_bundle(packages);
  EXPECT_EQ(plan.package_ids, (std::vector<uint32_t>{1000, 1002, 1005, 1006}));
  std::vector<std::tuple<uint32_t, std::string, std::vector<uint32_t>>> cabinets;
  for (const auto& c : plan.cabinets) cabinets.emplace_back(c.id, c.name, c.package_ids);
  EXPECT_EQ(cabinets, (std::vector<std::tuple<uint32_t, std::string, std::vector<uint32_t>>>{
                          {1001, "sample.cab", {1000, 1005}}, {1003, "sample.cab", {1002}}, {1004, "sample2.cab", {1002}},
                          {1007, "renamed.cab", {1006}}}));
  BundlePlan shared = plan;
  std::vector<ContentDigest> digests;
  for (const auto& file : shared.files) digests.push_back(content_digest(read_file_bytes(file.second)));
  share_identical_records(shared, digests);
  EXPECT_EQ(shared.cabinets.back().id, 1001u) << "the copy's entry names the record of the bytes it repeats";
  std::vector<uint32_t> record_ids;
  for (const auto& [id, file] : shared.files) record_ids.push_back(id);
  EXPECT_EQ(record_ids, (std::vector<uint32_t>{1000, 1001, 1002, 1003, 1004, 1005, 1006}));
  const std::vector<ContainerRecord> records = bundle_records(plan, read_file_bytes);
  ASSERT_EQ(records.size(), 8u);
  EXPECT_TRUE(records[0].manifest);
  EXPECT_EQ(records[2].content, read_file_bytes(x64 + "/sample.cab"));
}

TEST_F(Packages, PackingTwiceGivesTheSameBytes) {
  const std::string signed_stub = dir("signed-stub.exe");
  msiboot_test::write_file_bytes(signed_stub, msiboot_test::sign_with_test_signer(read_file_bytes(MSIBOOT_STUB)));
  for (Placement placement : {Placement::Append, Placement::Certificate}) {
    SCOPED_TRACE(placement_name(placement));
    std::vector<Bytes> packed;
    for (const char* name : {"again-1.exe", "again-2.exe"}) {
      PackOptions options;
      options.key_path = msiboot_test::test_key_path();
      options.output = dir(name);
      options.stub = placement == Placement::Append ? MSIBOOT_STUB : signed_stub;
      options.placement = placement;
      options.packages = {{dir("x64") + "/sample.msi", {}, {}, {}, {}}, {dir("x86-embedded") + "/sample.msi", {}, {}, {}, "x64"}};
      fs::remove(options.output);
      pack_command(options);
      packed.push_back(read_file_bytes(options.output));
    }
    EXPECT_EQ(packed[0], packed[1]);
  }
}

}  // namespace
