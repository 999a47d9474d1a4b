// Linked folders under wine, with real packages (scripts/sample-msi). The product folder in the
// Installer folder is blocked (a regular file in its place; wine's msiexec.exe still needs the
// Installer folder), so the folder browser decides where the files go.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_bytes.h"
#include "test_files.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;

constexpr char kCode[] = "{3F6A2C81-94D7-4B5E-8A1C-7D2E9B4F6A05}";
constexpr char kPlantedCode[] = "{A5C3E1F7-2B4D-4869-9E0A-1C3B5D7F9E24}";
constexpr char kShellFolders[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// While it lives: the product folder blocked, and the browser opening on `folder` (the user's
// "Personal" shell folder); afterwards products installed meanwhile are removed, and the blocker.
class Scene {
 public:
  explicit Scene(const std::string& folder) {
    fs::create_directories(fs::path(installer_folder(kCode)).parent_path());
    msiboot_test::write_file_bytes(installer_folder(kCode), Bytes{'x'});
    run_in_prefix({"reg", "add", kShellFolders, "/v", "Personal", "/d", folder, "/f"});
  }
  ~Scene() {
    run_in_prefix({"reg", "add", kShellFolders, "/v", "Personal", "/t", "REG_EXPAND_SZ", "/d",
                   "%USERPROFILE%\\Documents", "/f"});
    for (const char* code : {kCode, kPlantedCode}) remove_product(code);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
};

class LinkedFoldersE2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("LC_ALL");
    setenv("LANG", "C.UTF-8", 1);
    package_ = sample_package("1033", kCode, "Msiboot Linked", "Verified").package;
    planted_ = sample_package("1049", kPlantedCode, "Msiboot Planted", "Planted").package;
    setup_ = make_stub_copy("linked.exe", bundle_container({package_}));
  }
  static inline BundlePackage package_, planted_;
  static inline std::string setup_;
};

// wine makes Documents a link to the home folder; the browser opens there, and OK installs
// (refusing the link once brought the browser back for ever).
TEST_F(LinkedFoldersE2e, OkOnTheBrowserAtWinesLinkedDocumentsInstalls) {
  DefaultLayoutPrefix prefix;
  const std::string documents = user_folder() + "/Documents";
  ASSERT_TRUE(fs::is_symlink(documents));
  const std::string written = DefaultLayoutPrefix::home() + "/" + kCode;
  {
    Scene scene("C:\\users\\" + fs::path(user_folder()).filename().string() + "\\Documents");
    // The installer without questions, but not quiet for the stub: /qn would leave no browser.
    RobotRun run = run_under_robot(setup_, {"/passive"}, {"OK"});
    EXPECT_EQ(run.browsers.size(), 1u) << run.transcript;
    EXPECT_EQ(run.exit_code, 0) << run.transcript;
    EXPECT_TRUE(product_registered(kCode));
    expect_items_in(written, package_);
  }
  EXPECT_TRUE(fs::is_symlink(documents));
  fs::remove_all(written);
}

// The user's Documents link is repointed, after the stub wrote and held its files, to a folder
// holding another package under the same folder name: the recorder, standing in for
// msiexec.exe, repoints it with a Linux program, then installs what it was given (or fails).
// The installer gets the held folder's final path: the verified package; a failed installer's
// clean-up deletes the stub's own files and folder, nothing at the redirected path.
TEST_F(LinkedFoldersE2e, ALinkRepointedAfterWritingChangesNothing) {
  DefaultLayoutPrefix prefix;
  const std::string home = fs::canonical(DefaultLayoutPrefix::home()).string();
  const std::string documents = user_folder() + "/Documents";
  const std::string planted_root = e2e_work_dir() + "/planted";
  const std::string planted = planted_root + "/docs/" + kCode;
  fs::create_directories(planted);
  msiboot_test::write_file_bytes(planted + "/main.msi", planted_.msi);
  msiboot_test::write_file_bytes(planted + "/sample.cab", planted_.cabinets[0].content);
  fs::create_directories(home + "/docs");
  const std::string script = e2e_work_dir() + "/repoint.sh";
  const std::string text = "ln -sfn '" + planted_root + "' '" + documents + "'\n";
  msiboot_test::write_file_bytes(script, Bytes(text.begin(), text.end()));
  std::string package = "Z:" + home + "/docs/" + kCode + "/main.msi";
  for (char& c : package) c = c == '/' ? '\\' : c;

  Scene scene("C:\\users\\" + fs::path(user_folder()).filename().string() + "\\Documents\\docs");
  ScopedVariable first("MSIBOOT_RECORDER_FIRST", "/bin/sh " + script);
  for (bool installs : {false, true}) {  // msiexec.exe is the recorder: nothing uninstalls here
    SCOPED_TRACE(installs ? "the installer installs" : "the installer fails");
    // wine's browser does not open inside a folder changed since it was last listed (wine-run).
    for (const std::string& folder : {user_folder(), home}) fs::directory_iterator{folder};
    InstallerRecorder recorder(1602);
    ScopedVariable install("MSIBOOT_RECORDER_INSTALL", installs ? "1" : "");
    RobotRun run = run_under_robot(setup_, {}, {"OK"});
    const fs::path repointed = fs::read_symlink(documents);
    fs::remove(documents);
    fs::create_directory_symlink(home, documents);
    EXPECT_EQ(repointed, fs::path(planted_root)) << run.transcript;
    EXPECT_EQ(recorder.command_lines(),
              std::vector<std::string>{"C:\\windows\\system32\\msiexec.exe /i " + package});
    EXPECT_EQ(run.exit_code, installs ? 0 : 1602) << run.transcript;
    EXPECT_EQ(product_registered(kCode), installs);
    EXPECT_FALSE(product_registered(kPlantedCode)) << "the planted package was installed";
    if (installs) {
      expect_items_in(home + "/docs/" + kCode, package_);
    } else {
      EXPECT_FALSE(fs::exists(home + "/docs/" + kCode)) << "the stub's own files stayed";
    }
    expect_items_in(planted, planted_);
  }
  fs::remove_all(home + "/docs");
  fs::remove_all(planted_root);
}

// The user picks a link, the product folder cannot be made there (its path would be too long),
// the browser comes back and the user cancels: the link and the folder it leads to stay (the
// clean-up once removed the base folder, which for a link removed what it leads to).
TEST_F(LinkedFoldersE2e, ACancelledBrowserLeavesALinkedBaseFolderAsItWas) {
  ensure_prefix();
  const std::string name(230, 'l');  // C:\, the name, \{...}: 272 characters
  const std::string link = prefix_path("C:\\" + name);
  const std::string target = prefix_path("C:\\linked-target");
  fs::remove(link);
  fs::create_directories(target);
  fs::create_directory_symlink(target, link);
  {
    Scene scene("C:\\" + name);
    RobotRun run = run_under_robot(setup_, {}, {"OK", "Cancel"});
    EXPECT_EQ(run.browsers.size(), 2u) << run.transcript;
    EXPECT_EQ(run.exit_code, 1223) << run.transcript;
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_directory(target));
  fs::remove(link);
  fs::remove_all(target);
}

}  // namespace
