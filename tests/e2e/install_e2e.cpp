// The bootstrapper from end to end under wine with real packages: two x64 packages built by
// scripts/sample-msi (1033 and 1049, each with an external cabinet), installed by wine's own
// msiexec.exe, or by the installer recorder where the exact command line matters. The prefix's
// code page is Western (1252).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "files/file_bytes.h"
#include "payload/container.h"
#include "shared/byte_reader.h"
#include "test_bytes.h"
#include "test_files.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;

struct Sample {
  const char* language;
  const char* code;
  const char* name;  // also its folder under Program Files
  const char* text;
  BundlePackage package;
  Bytes readme;
};

Sample english = {"1033", "{7E1D5C52-8B3A-4F0E-9D61-2A4C6B8E0F13}", "Msiboot Sample EN",
                  "English sample", {}, {}};
Sample russian = {"1049", "{2B7A4E10-5C3D-4F8E-A1B2-C3D4E5F60718}", "Msiboot Sample RU",
                  "Russian sample", {}, {}};

void build_sample(Sample& sample) {
  sample.package = sample_package(sample.language, sample.code, sample.name, sample.text);
  sample.readme = msiboot_tool::read_file_bytes(e2e_work_dir() + "/sample-" + sample.language +
                                                "/files/readme.txt");
}

std::string items_folder(const Sample& s) {
  return prefix_path(std::string("C:\\windows\\Installer\\") + s.code);
}

std::string installed_readme(const Sample& s) {
  return prefix_path(std::string("C:\\Program Files\\") + s.name + "\\readme.txt");
}

bool registered(const Sample& s) {
  const std::string key =
      std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + s.code;
  return run_in_prefix({"reg", "query", key, "/v", "UninstallString", "/reg:64"})
             .find("UninstallString") != std::string::npos;
}

void expect_items_kept(const Sample& s) {
  EXPECT_EQ(read_if_present(items_folder(s) + "/main.msi"), s.package.msi);
  EXPECT_EQ(read_if_present(items_folder(s) + "/sample.cab"), s.package.cabinets[0].content);
}

class InstallE2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("LC_ALL");  // wine takes the user's locale from LANG unless this overrides it
    build_sample(english);
    build_sample(russian);
    setup_ = make_stub_copy("setup.exe", bundle_container({russian.package, english.package}));
  }
  void SetUp() override { ensure_prefix(); }
  void TearDown() override {
    for (const Sample* s : {&english, &russian}) {
      if (registered(*s)) run_in_prefix({"msiexec", "/x", s->code, "/qn"});
      fs::remove_all(items_folder(*s));
    }
  }
  static RobotRun run_setup(const std::vector<std::string>& args, const char* lang = "C.UTF-8") {
    ScopedVariable locale("LANG", lang);
    return run_under_robot(setup_, args);
  }
  static inline std::string setup_;
};

TEST_F(InstallE2e, InstallsQuietlyKeepsThePackageAndNeverRunsAPlantedInstaller) {
  // Copies of the recorder planted beside setup.exe and in the current directory.
  const std::string cwd = e2e_work_dir() + "/cwd";
  fs::create_directories(cwd);
  for (const std::string& dir : {e2e_work_dir(), cwd}) {
    fs::copy_file(MSIBOOT_RECORDER, dir + "/msiexec.exe", fs::copy_options::overwrite_existing);
  }
  fs::remove(recorder_log_path());
  const fs::path old_cwd = fs::current_path();
  fs::current_path(cwd);
  RobotRun run = run_setup({"/qn"});
  fs::current_path(old_cwd);

  ASSERT_FALSE(run.timed_out) << run.transcript;
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  EXPECT_FALSE(fs::exists(recorder_log_path())) << "a planted msiexec.exe ran";
  EXPECT_EQ(read_if_present(installed_readme(english)), english.readme);
  EXPECT_EQ(read_if_present(prefix_path("C:\\Program Files\\Msiboot Sample EN\\data.bin")),
            msiboot_tool::read_file_bytes(e2e_work_dir() + "/sample-1033/files/data.bin"));
  EXPECT_TRUE(registered(english));
  expect_items_kept(english);
}

TEST_F(InstallE2e, TheUsersLocalePicksThePackage) {
  RobotRun ru = run_setup({"/qn"}, "ru_RU.UTF-8");
  EXPECT_EQ(ru.exit_code, 0) << ru.transcript;
  EXPECT_EQ(read_if_present(installed_readme(russian)), russian.readme);
  EXPECT_FALSE(registered(english));
  TearDown();

  RobotRun gb = run_setup({"/qn"}, "en_GB.UTF-8");  // no 2057 package: English by its primary
  EXPECT_EQ(gb.exit_code, 0) << gb.transcript;
  EXPECT_EQ(read_if_present(installed_readme(english)), english.readme);
  EXPECT_FALSE(registered(russian));
}

TEST_F(InstallE2e, AFailedInstallationDeletesWhatWasWritten) {
  RobotRun run = run_setup({"/qn", "BLOCKINSTALL=1"});
  EXPECT_EQ(run.exit_code, 1603) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  EXPECT_FALSE(fs::exists(items_folder(english)));
  EXPECT_FALSE(registered(english));
}

TEST_F(InstallE2e, AFailedMaintenanceRunKeepsThePackageOfTheInstalledProduct) {
  ASSERT_EQ(run_setup({"/qn"}).exit_code, 0);
  RobotRun run = run_setup({"/qn", "BLOCKINSTALL=1"});
  EXPECT_EQ(run.exit_code, 1603) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  EXPECT_TRUE(registered(english));
  expect_items_kept(english);
}

TEST_F(InstallE2e, TheInstallerGetsTheExactCommandLineAndItsExitCodeComesBack) {
  InstallerRecorder recorder(1602);
  RobotRun run = run_setup({"/QUIET", "TARGETDIR=C:\\Program Files\\X", "x\ty"});
  EXPECT_EQ(run.exit_code, 1602) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  const std::string expected = std::string("C:\\windows\\system32\\msiexec.exe /i ") +
                               "C:\\windows\\Installer\\" + english.code +
                               "\\main.msi /QUIET \"TARGETDIR=C:\\Program Files\\X\" x\ty";
  EXPECT_EQ(recorder.command_lines(), std::vector<std::string>{expected});
  EXPECT_FALSE(fs::exists(items_folder(english)));
}

// Characters the code page cannot spell are never replaced by look-alikes on the installer's
// command line (best fit made the fullwidth quotes '"', injecting /lv): the launch fails naming the
// argument.
TEST_F(InstallE2e, AnArgumentTheCodePageCannotSpellFailsTheLaunchAndInjectsNothing) {
  const struct {
    std::string arg, shown;
  } cases[] = {
      {"PROP=a\uFF02 /lv C:\\x.log \uFF02b", "PROP=a? /lv C:\\x.log ?b"},
      {"INSTALLDIR=C:\\\u041F\u0440\u043E\u0433 \uFF0Fpassive", "INSTALLDIR=C:\\???? ?passive"},
  };
  fs::remove(prefix_path("C:\\x.log"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    RobotRun run = run_setup({c.arg});
    EXPECT_EQ(run.exit_code, 1113) << run.transcript;
    ASSERT_EQ(run.boxes.size(), 1u) << run.transcript;
    const std::string tail = "(argument 1: " + c.shown + ").";
    EXPECT_EQ(run.boxes[0].text.substr(run.boxes[0].text.size() - std::min(run.boxes[0].text.size(), tail.size())), tail);
    EXPECT_FALSE(fs::exists(prefix_path("C:\\x.log")));
    EXPECT_FALSE(registered(english));
    EXPECT_FALSE(fs::exists(items_folder(english)));
  }
}

// A Downloads folder under a Cyrillic user name and a snowman in the file name, neither of which
// the code page spells; and setup\uFF21.exe beside setupA.exe (best fit reads both as setupA.exe)
// reads itself, not the other.
TEST_F(InstallE2e, ASetupWhosePathTheCodePageCannotSpellReadsItself) {
  const std::string folder = e2e_work_dir() + "/\u0417\u0430\u0433\u0440\u0443\u0437\u043A\u0438";
  fs::create_directories(folder);
  const std::string snowman = folder + "/setup\u2603.exe";
  fs::copy_file(setup_, snowman, fs::copy_options::overwrite_existing);
  ScopedVariable locale("LANG", "C.UTF-8");
  RobotRun run = run_under_robot(snowman, {"/qn"});
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_TRUE(registered(english));
  EXPECT_EQ(read_if_present(installed_readme(english)), english.readme);
  TearDown();

  msiboot_test::write_file_bytes(folder + "/setupA.exe", read_if_present(make_stub_copy("x86.exe", x86_only_container())));
  fs::copy_file(setup_, folder + "/setup\uFF21.exe", fs::copy_options::overwrite_existing);
  InstallerRecorder recorder(0);
  RobotRun fullwidth = run_under_robot(folder + "/setup\uFF21.exe", {"/qn"});
  EXPECT_EQ(fullwidth.exit_code, 0) << fullwidth.transcript;
  EXPECT_EQ(recorder.command_lines().size(), 1u);
  expect_items_kept(english);
}

// The trailer ids of the two packages' records swapped: every signature still verifies, but
// neither record is the one its entry was packed with. The English user got the Russian package.
TEST_F(InstallE2e, RecordsSwappedBetweenEntriesAreRefusedWithNothingWritten) {
  Bytes swapped = bundle_container({russian.package, english.package});
  // The container's trailers from its end: 1003, 1002, 1001, 1000 (cabinet after package).
  uint32_t end = static_cast<uint32_t>(swapped.size());
  std::vector<uint32_t> id_at;  // offsets of the file trailers' id fields
  while (end >= kRecordTrailerSize) {
    end -= kRecordTrailerSize;
    if (memcmp(swapped.data() + end, FileRecordType, sizeof(RecordType)) != 0) break;
    id_at.push_back(end + 16);
    end -= read_u32le(swapped.data() + end + 20) + read_u32le(swapped.data() + end + 24);
  }
  ASSERT_EQ(id_at.size(), 4u);
  ASSERT_EQ(read_u32le(swapped.data() + id_at[1]), 1002u);
  ASSERT_EQ(read_u32le(swapped.data() + id_at[3]), 1000u);
  for (int i = 0; i < 4; ++i) std::swap(swapped[id_at[1] + i], swapped[id_at[3] + i]);
  ScopedVariable locale("LANG", "C.UTF-8");
  RobotRun run = run_under_robot(make_stub_copy("swapped.exe", swapped), {});
  expect_failure_box(run, 13);
  for (const Sample* s : {&english, &russian}) {
    EXPECT_FALSE(fs::exists(items_folder(*s)));
    EXPECT_FALSE(registered(*s));
  }
}

}  // namespace
