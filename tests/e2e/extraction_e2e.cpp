// The stub writing its package and cabinets under wine: the progress window and its bar, the
// folder browser when the Installer folder is unusable, and Retry and Cancel after a write fault.
// The installer recorder stands in for msiexec.exe and succeeds, so the written files stay.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files/file_bytes.h"
#include "test_bytes.h"
#include "test_files.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;

constexpr char kFolder[] = "{5D0C8A3E-7B21-4F6A-9C3D-2E8F1A6B4C90}";
constexpr char kTitle[] = "Extraction Test Product";
constexpr char kBrowseTitle[] = "Select a folder where you want to extract the installation files:";
constexpr char kInstaller[] = "C:\\windows\\Installer";

BundlePackage package(size_t cabinet_size) {
  return {"x64", "1033", kFolder, kTitle, incompressible_bytes(300 * 1024, 1),
          {{"data1.cab", incompressible_bytes(cabinet_size, 2)}}};
}

std::string stub_with(const std::string& name, const BundlePackage& p,
                      const std::string& stub = MSIBOOT_STUB) {
  return make_stub_copy(name, bundle_container({p}), stub);
}

class ExtractionE2e : public ::testing::Test {
 protected:
  // Tolerant: where the Installer folder is blocked, its product folder cannot exist.
  void SetUp() override { fs::remove_all(installer_folder(kFolder), ignored_); }
  void TearDown() override { fs::remove_all(installer_folder(kFolder), ignored_); }
  std::error_code ignored_;
  InstallerRecorder recorder_{0};
};

TEST_F(ExtractionE2e, ItemsAreWrittenUnderTheProgressWindow) {
  const BundlePackage p = package(60u << 20);
  RobotRun run = run_under_robot(stub_with("progress.exe", p), {"/qn"});
  ASSERT_FALSE(run.timed_out) << run.transcript;
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  ASSERT_EQ(run.windows.size(), 1u) << run.transcript;
  EXPECT_EQ(run.windows[0].class_name, "MSI_STUB_WINDOW_CLASS_NAME");
  EXPECT_EQ(run.windows[0].caption, kTitle);
  ASSERT_FALSE(run.progress.empty()) << run.transcript;
  int highest = 0;
  for (const RobotProgress& progress : run.progress) {
    EXPECT_EQ(progress.max, 100);
    highest = std::max(highest, progress.pos);
  }
  // The robot samples the bar: the comparison and the final 100 may pass within one of its
  // samples, so the end is shown by the written items, the bar by the writing's half.
  EXPECT_GE(highest, 50) << run.transcript;
  expect_items_in(installer_folder(kFolder), p);
}

// C:\windows\Installer made unusable: a regular file stands in its place.
class UnusableInstallerFolder : public ExtractionE2e {
 protected:
  BlockedInstallerFolder blocked_{kFolder};
};

TEST_F(UnusableInstallerFolder, BrowserPresetToDocumentsWritesThereOrCancelsSilently) {
  const BundlePackage p = package(64 * 1024);
  const std::string stub = stub_with("browse.exe", p);
  RobotRun chosen = run_under_robot(stub, {}, {"OK"});
  ASSERT_EQ(chosen.browsers.size(), 1u) << chosen.transcript;
  EXPECT_EQ(chosen.browsers[0].title, kBrowseTitle);
  EXPECT_EQ(chosen.exit_code, 0) << chosen.transcript;
  ASSERT_FALSE(blocked_.documents.empty());
  expect_items_in(blocked_.documents, p);

  RobotRun cancelled = run_under_robot(stub, {}, {"Cancel"});
  EXPECT_EQ(cancelled.browsers.size(), 1u) << cancelled.transcript;
  EXPECT_EQ(cancelled.exit_code, 1223) << cancelled.transcript;
  EXPECT_TRUE(cancelled.boxes.empty()) << cancelled.transcript;

  // A deployment with nobody at the screen: no browser, the failure in the Installer folder is
  // the run's code (a file in the folder's place: 123, not a folder's name), and nothing waits.
  fs::remove_all(blocked_.documents);
  RobotRun quiet = run_under_robot(stub, {"/qn"}, {}, 20000);
  EXPECT_FALSE(quiet.timed_out) << quiet.transcript;
  EXPECT_TRUE(quiet.browsers.empty()) << quiet.transcript;
  EXPECT_TRUE(quiet.boxes.empty()) << quiet.transcript;
  EXPECT_EQ(quiet.exit_code, 123) << quiet.transcript;
  EXPECT_EQ(recorder_.command_lines().size(), 1u);  // the first run's only
  EXPECT_FALSE(fs::exists(blocked_.documents));
}

// A product folder that is a link (a symbolic link here; a junction on Windows) may lead anywhere:
// nothing is written through it, and the browser comes.
TEST_F(UnusableInstallerFolder, AProductFolderThatIsALinkIsUnusable) {
  const BundlePackage p = package(64 * 1024);
  const std::string elsewhere = prefix_path("C:\\elsewhere");
  fs::remove(blocked_.installer);  // the fixture's regular file
  fs::create_directories(elsewhere);
  fs::create_directory(blocked_.installer);
  fs::create_directory_symlink(elsewhere, installer_folder(kFolder));
  RobotRun run = run_under_robot(stub_with("linked-folder.exe", p), {}, {"OK"});
  EXPECT_EQ(run.browsers.size(), 1u) << run.transcript;
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_TRUE(fs::is_symlink(installer_folder(kFolder)));
  expect_items_in(blocked_.documents, p);
  fs::remove(installer_folder(kFolder));
  fs::remove_all(elsewhere);
}

// The Installer folder is a base folder like one picked in the browser: a link there (an
// Installer folder moved to another drive with a junction) is followed, and the product folder
// is made where it leads.
TEST_F(UnusableInstallerFolder, AnInstallerFolderThatIsALinkIsFollowed) {
  const BundlePackage p = package(64 * 1024);
  const std::string elsewhere = prefix_path("C:\\elsewhere");
  fs::remove(blocked_.installer);  // the fixture's regular file
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, blocked_.installer);
  RobotRun run = run_under_robot(stub_with("linked-installer.exe", p), {"/qn"}, {"OK"});
  EXPECT_TRUE(run.browsers.empty()) << run.transcript;
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  expect_items_in(elsewhere + "/" + kFolder, p);
  EXPECT_TRUE(fs::is_symlink(blocked_.installer));
  fs::remove(blocked_.installer);
  fs::remove_all(elsewhere);
}

TEST_F(ExtractionE2e, WriteFaultOffersRetryWhichCompletesTheFileOrCancel) {
  const BundlePackage p = package(64 * 1024);
  const std::string stub = stub_with("write-fault.exe", p, MSIBOOT_WRITE_FAULT_STUB);
  const std::string path = std::string(kInstaller) + "\\" + kFolder + "\\main.msi";
  RobotRun retried = run_under_robot(stub, {}, {"Retry"});
  ASSERT_EQ(retried.boxes.size(), 1u) << retried.transcript;
  EXPECT_EQ(retried.boxes[0].caption, kTitle);
  const std::string tail = "(" + path + ").";
  EXPECT_EQ(retried.boxes[0].text.substr(retried.boxes[0].text.size() - tail.size()), tail);
  EXPECT_EQ(retried.exit_code, 0) << retried.transcript;
  expect_items_in(installer_folder(kFolder), p);

  fs::remove_all(installer_folder(kFolder));
  RobotRun cancelled = run_under_robot(stub, {}, {"Cancel"});
  EXPECT_EQ(cancelled.boxes.size(), 1u) << cancelled.transcript;  // the retry box only
  EXPECT_EQ(cancelled.exit_code, 29) << cancelled.transcript;

  // Quiet: the box is not shown and counts as Cancel.
  RobotRun quiet = run_under_robot(stub, {"/qn"}, {}, 20000);
  EXPECT_FALSE(quiet.timed_out) << quiet.transcript;
  EXPECT_TRUE(quiet.boxes.empty()) << quiet.transcript;
  EXPECT_EQ(quiet.exit_code, 29) << quiet.transcript;
}

}  // namespace
