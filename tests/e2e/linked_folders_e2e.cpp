// Linked folders under wine, with real packages (scripts/sample-msi) and the Installer folder
// made unusable, so that the folder browser decides where the files go: the base folder the user
// picks is used as picked, link or not; after that, the stub works through handles on the product
// folder it holds, so a link repointed in the chosen path changes nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "file_bytes.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kCode[] = "{3F6A2C81-94D7-4B5E-8A1C-7D2E9B4F6A05}";
constexpr char kName[] = "Msiboot Linked EN";
constexpr char kOtherCode[] = "{A5C3E1F7-2B4D-4869-9E0A-1C3B5D7F9E24}";
constexpr char kOtherName[] = "Msiboot Planted";
constexpr char kInstaller[] = "C:\\windows\\Installer";
constexpr char kShellFolders[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

struct Sample {
  BundlePackage package;
  Bytes readme;
};

Sample build(const char* language, const char* code, const char* name, const char* text) {
  Sample sample{sample_package(language, code, name, text), {}};
  sample.readme = msiboot_tool::read_file_bytes(e2e_work_dir() + "/sample-" + language +
                                                "/files/readme.txt");
  return sample;
}

std::string installed_readme(const char* name) {
  return prefix_path(std::string("C:\\Program Files\\") + name + "\\readme.txt");
}

bool registered(const char* code) {
  const std::string key =
      std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + code;
  return run_in_prefix({"reg", "query", key, "/v", "UninstallString", "/reg:64"})
             .find("UninstallString") != std::string::npos;
}

void expect_items_in(const std::string& folder, const BundlePackage& p) {
  EXPECT_EQ(read_if_present(folder + "/main.msi"), p.msi) << folder;
  EXPECT_EQ(read_if_present(folder + "/sample.cab"), p.cabinets[0].content) << folder;
}

void write_items(const std::string& folder, const BundlePackage& p) {
  fs::create_directories(folder);
  msiboot_tool::write_file_bytes(folder + "/main.msi", p.msi);
  msiboot_tool::write_file_bytes(folder + "/sample.cab", p.cabinets[0].content);
}

// The product folder in the Installer folder made unusable (a regular file in its place) in the
// harness's current prefix, so that the browser decides where the files go, while the Installer
// folder stays usable for wine's msiexec.exe (it keeps its copy of each package there). The file
// goes afterwards; so do the products installed in the meantime.
class BlockedProductFolder {
 public:
  BlockedProductFolder() : blocker_(prefix_path(std::string(kInstaller) + "\\" + kCode)) {
    fs::remove_all(blocker_);
    fs::create_directories(prefix_path(kInstaller));
    msiboot_tool::write_file_bytes(blocker_, Bytes{'x'});
  }
  ~BlockedProductFolder() {
    for (const char* code : {kCode, kOtherCode}) {
      if (registered(code)) run_in_prefix({"msiexec", "/x", code, "/qn"});
    }
    fs::remove(blocker_);
  }
  BlockedProductFolder(const BlockedProductFolder&) = delete;
  BlockedProductFolder& operator=(const BlockedProductFolder&) = delete;

 private:
  std::string blocker_;
};

// The user's folder in the prefix (the one that is not Public), as a Linux path, and its name.
std::string user_folder() {
  for (const auto& user : fs::directory_iterator(prefix_path("C:\\users"))) {
    if (user.path().filename() != "Public") return user.path().string();
  }
  return {};
}

// Lists the folder, as wine's folder browser needs after a change in it (see wine-run).
void read_once(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) (void)entry;
}

std::string windows_form(std::string linux_path) {
  for (char& c : linux_path) c = c == '/' ? '\\' : c;
  return "Z:" + linux_path;
}

// The folder the browser opens on, the user's "Personal" shell folder, set to a folder of the
// test for a while.
class BrowserPreset {
 public:
  explicit BrowserPreset(const std::string& folder) {
    run_in_prefix({"reg", "add", kShellFolders, "/v", "Personal", "/d", folder, "/f"});
  }
  ~BrowserPreset() {
    run_in_prefix({"reg", "add", kShellFolders, "/v", "Personal", "/t", "REG_EXPAND_SZ", "/d",
                   "%USERPROFILE%\\Documents", "/f"});
  }
  BrowserPreset(const BrowserPreset&) = delete;
  BrowserPreset& operator=(const BrowserPreset&) = delete;
};

class LinkedFoldersE2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("LC_ALL");
    setenv("LANG", "C.UTF-8", 1);
    english_ = new Sample(build("1033", kCode, kName, "English sample"));
    planted_ = new Sample(build("1049", kOtherCode, kOtherName, "Planted sample"));
    setup_ = make_stub_copy("linked.exe", bundle_container({english_->package}));
  }
  static void TearDownTestSuite() {
    delete english_;
    delete planted_;
  }
  static inline Sample* english_ = nullptr;
  static inline Sample* planted_ = nullptr;
  static inline std::string setup_;
};

// wine makes Documents a link to the home folder; with the Installer folder unusable, the browser
// opens there, and OK must install instead of bringing the browser back for ever.
TEST_F(LinkedFoldersE2e, OkOnTheBrowserAtWinesLinkedDocumentsInstalls) {
  DefaultLayoutPrefix prefix;
  const std::string documents = user_folder() + "/Documents";
  ASSERT_TRUE(fs::is_symlink(documents)) << documents << " is not wine's link";
  ASSERT_EQ(fs::canonical(documents), fs::canonical(DefaultLayoutPrefix::home()));
  const std::string folder = DefaultLayoutPrefix::home() + "/" + kCode;
  fs::remove_all(folder);
  {
    BlockedProductFolder blocked;
    RobotRun run = run_under_robot(setup_, {"/qn"}, {"OK"});
    ASSERT_FALSE(run.timed_out) << run.transcript;
    EXPECT_EQ(run.browsers.size(), 1u) << run.transcript;
    EXPECT_EQ(run.exit_code, 0) << run.transcript;
    EXPECT_TRUE(run.boxes.empty()) << run.transcript;
    EXPECT_EQ(read_if_present(installed_readme(kName)), english_->readme);
    EXPECT_TRUE(registered(kCode));
    expect_items_in(folder, english_->package);
    EXPECT_TRUE(fs::is_symlink(documents));
  }
  fs::remove_all(folder);
}

// A local user who controls a folder in the chosen path repoints a link in it after the stub
// wrote and held its files, just before the installer runs: the user's Documents, a link (as wine
// makes it, or a junction to a folder moved elsewhere), is repointed to a folder holding another
// package under the stub's folder name. The recorder stands in for msiexec.exe: it repoints the
// link with a Linux program, then installs the package it was given for real. The installer gets
// the held folder's final path: exactly the verified package. When the installer fails instead,
// the clean-up deletes the stub's own files and folder, through handles, and nothing at the
// redirected path.
TEST_F(LinkedFoldersE2e, ALinkRepointedAfterWritingChangesNothing) {
  DefaultLayoutPrefix prefix;
  const std::string home = fs::canonical(DefaultLayoutPrefix::home()).string();
  const std::string documents = user_folder() + "/Documents";
  ASSERT_TRUE(fs::is_symlink(documents));
  const std::string planted_root = e2e_work_dir() + "/planted";
  const std::string planted = planted_root + "/docs/" + kCode;
  fs::remove_all(planted_root);
  write_items(planted, planted_->package);  // another package, under the stub's folder name
  const std::string written = home + "/docs/" + kCode;
  fs::remove_all(home + "/docs");
  fs::create_directories(home + "/docs");
  const std::string script = e2e_work_dir() + "/repoint.sh";
  const std::string text = "ln -sfn '" + planted_root + "' '" + documents + "'\n";
  msiboot_tool::write_file_bytes(script, Bytes(text.begin(), text.end()));
  const std::string package = windows_form(written) + "\\main.msi";

  BlockedProductFolder blocked;
  BrowserPreset preset("C:\\users\\" + fs::path(user_folder()).filename().string() +
                       "\\Documents\\docs");
  ScopedVariable first("MSIBOOT_RECORDER_FIRST", "/bin/sh " + script);
  // The product is removed at the end (BlockedProductFolder): msiexec.exe is the recorder here.
  for (bool installs : {false, true}) {
    SCOPED_TRACE(installs ? "the installer installs" : "the installer fails");
    // wine's folder browser does not open on a folder inside a folder changed since it was last
    // read (it falls back to the desktop).
    read_once(user_folder());
    read_once(home);
    InstallerRecorder recorder(1602);
    ScopedVariable install("MSIBOOT_RECORDER_INSTALL", installs ? "1" : "");
    RobotRun run = run_under_robot(setup_, {"/qn"}, {"OK"});
    fs::path repointed = fs::read_symlink(documents);
    fs::remove(documents);
    fs::create_directory_symlink(home, documents);
    ASSERT_FALSE(run.timed_out) << run.transcript;
    EXPECT_EQ(run.browsers.size(), 1u) << run.transcript;
    EXPECT_EQ(recorder.values("first"), std::vector<std::string>{"0"});
    EXPECT_EQ(repointed, fs::path(planted_root)) << "the link was not repointed";
    ASSERT_EQ(recorder.command_lines().size(), 1u) << run.transcript;
    EXPECT_NE(recorder.command_lines()[0].find(" /i " + package + " /qn"), std::string::npos)
        << recorder.command_lines()[0];
    if (installs) {
      EXPECT_EQ(run.exit_code, 0) << run.transcript;
      EXPECT_EQ(recorder.values("installed"), std::vector<std::string>{"0"});
      EXPECT_EQ(read_if_present(installed_readme(kName)), english_->readme);
      EXPECT_FALSE(registered(kOtherCode)) << "the planted package was installed";
      EXPECT_FALSE(fs::exists(installed_readme(kOtherName)));
      expect_items_in(written, english_->package);
    } else {
      EXPECT_EQ(run.exit_code, 1602) << run.transcript;
      EXPECT_FALSE(fs::exists(written)) << "the stub's own files or folder stayed behind";
    }
    expect_items_in(planted, planted_->package);
    fs::remove_all(written);
  }
  fs::remove_all(home + "/docs");
  fs::remove_all(planted_root);
}

// The user picks a folder that is a link, the product folder cannot be made in it (its path
// would be too long), the browser comes back and the user cancels: the link and the folder it
// leads to stay as they were (the clean-up once removed the base folder, which for a link
// removed what it leads to).
TEST_F(LinkedFoldersE2e, ACancelledBrowserLeavesALinkedBaseFolderAsItWas) {
  ensure_prefix();
  const std::string name(230, 'l');  // C:\ and the name: the product folder's path is 272 long
  const std::string link = prefix_path("C:\\" + name);
  const std::string target = prefix_path("C:\\linked-target");
  fs::remove(link);
  fs::remove_all(target);
  fs::create_directories(target);
  fs::create_directory_symlink(target, link);
  {
    BlockedProductFolder blocked;
    BrowserPreset preset("C:\\" + name);
    RobotRun run = run_under_robot(setup_, {}, {"OK", "Cancel"});
    ASSERT_FALSE(run.timed_out) << run.transcript;
    EXPECT_EQ(run.browsers.size(), 2u) << run.transcript;
    EXPECT_EQ(run.exit_code, 1223) << run.transcript;
    EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_directory(target));
  fs::remove(link);
  fs::remove_all(target);
}

}  // namespace
