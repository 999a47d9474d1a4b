// The installer runs exactly the verified bytes: while it runs nobody else can write, rename or
// delete the written files; a product folder someone else made, with a hard link planted at an
// item's path, is not used at all; and a cabinet name that leads outside the product folder is
// corrupt data, writing nothing.
// The installer recorder stands in for msiexec.exe.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "files/file_bytes.h"
#include "test_bytes.h"
#include "test_files.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;

constexpr char kFolder[] = "{9C4E2A17-3B5D-4F60-8E1A-7D2C6B9F0A35}";

BundlePackage package(const std::string& cabinet = "data1.cab") {
  return {"x64", "1033", kFolder, "Verified Items", incompressible_bytes(4096, 3),
          {{cabinet, incompressible_bytes(64 * 1024, 4)}}};
}

std::string product_folder() { return installer_folder(kFolder); }

class VerifiedItemsE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_prefix();
    fs::remove_all(product_folder());
  }
  void TearDown() override {
    fs::remove_all(product_folder());
    fs::remove(elsewhere_);
  }
  const std::string elsewhere_ = prefix_path("C:\\elsewhere.bin");
};

TEST_F(VerifiedItemsE2e, FilesAreHeldWhileTheInstallerRunsThenCleanedUpAsBefore) {
  ScopedVariable probe("MSIBOOT_RECORDER_PROBE", "1");
  const BundlePackage p = package();
  const std::string setup = make_stub_copy("held.exe", bundle_container({p}));
  for (int exit_code : {1602, 0}) {
    SCOPED_TRACE(exit_code);
    InstallerRecorder recorder(exit_code);
    RobotRun run = run_under_robot(setup, {"/qn"});
    EXPECT_EQ(run.exit_code, exit_code) << run.transcript;
    std::vector<std::string> probes = recorder.values("probe");
    std::sort(probes.begin(), probes.end());
    EXPECT_EQ(probes, (std::vector<std::string>{
                          "data1.cab read=allowed write=refused rename=refused delete=refused",
                          "main.msi read=allowed write=refused rename=refused delete=refused"}));
    if (exit_code == 0) {
      expect_items_in(product_folder(), p);
    } else {
      EXPECT_FALSE(fs::exists(product_folder()));
    }
  }
}

// A product folder made beforehand, by another user or by the user without elevation (under
// wine the owner of every file the prefix's user made reads as that user): whoever made it may
// change the repair source later, so it is not used, and with /qn nothing waits. A hard link made
// from Linux stands at an item's path, as anyone who may write the folder could make one.
TEST_F(VerifiedItemsE2e, AProductFolderSomeoneElseMadeIsNotUsed) {
  const BundlePackage p = package();
  const std::string cabinet = product_folder() + "/data1.cab";
  const Bytes theirs(1000, 'o');
  for (bool another_user : {true, false}) {
    SCOPED_TRACE(another_user ? "another user's" : "the user's own");
    msiboot_test::write_file_bytes(elsewhere_, theirs);
    fs::create_directories(product_folder());
    fs::create_hard_link(elsewhere_, cabinet);
    if (another_user) {
      ASSERT_EQ(chown(product_folder().c_str(), 4242, 4242), 0);
    }
    InstallerRecorder recorder(0);
    RobotRun run = run_under_robot(make_stub_copy("found.exe", bundle_container({p})), {"/qn"}, {}, 20000);
    EXPECT_FALSE(run.timed_out) << run.transcript;
    EXPECT_EQ(run.exit_code, 5) << run.transcript;
    EXPECT_TRUE(run.browsers.empty() && run.boxes.empty()) << run.transcript;
    EXPECT_TRUE(recorder.command_lines().empty());
    EXPECT_EQ(read_if_present(elsewhere_), theirs);
    EXPECT_EQ(read_if_present(cabinet), theirs);
    EXPECT_FALSE(fs::exists(product_folder() + "/main.msi"));
    fs::remove_all(product_folder());
  }
}

// Cabinet names that lead out of the folder, and one name listed twice with different contents (no
// file can hold both, and the writer would offer Retry for ever, 29 each time).
TEST_F(VerifiedItemsE2e, ACabinetNameLeadingOutOfTheFolderOrListedTwiceIsCorruptAndNothingIsWritten) {
  BundlePackage twice = package();
  twice.cabinets.push_back({"DATA1.cab", incompressible_bytes(1000, 5)});
  for (const BundlePackage& p : {package("..\\x.cab"), package("a/b.cab"), package("x.cab:s"), twice}) {
    SCOPED_TRACE(p.cabinets.back().name);
    InstallerRecorder recorder(0);
    expect_failure_box(run_under_robot(make_stub_copy("named.exe", bundle_container({p})), {}), 13);
    EXPECT_TRUE(recorder.command_lines().empty());
    EXPECT_FALSE(fs::exists(product_folder()));
    EXPECT_FALSE(fs::exists(prefix_path("C:\\windows\\Installer\\x.cab")));
  }
}

}  // namespace
