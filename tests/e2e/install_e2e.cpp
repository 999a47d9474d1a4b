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

#include "container/manifest_writer.h"
#include "files/file_bytes.h"
#include "payload/container.h"
#include "shared/byte_reader.h"
#include "record_faults.h"
#include "test_bytes.h"
#include "test_files.h"
#include "test_keys.h"
#include "test_signing.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;

// サンプル・ソフト表: in code page 932 the last byte of ソ and of 表 is 0x5C, the backslash.
const std::string kJapaneseTitle =
    "\u30B5\u30F3\u30D7\u30EB\u30FB\u30BD\u30D5\u30C8\u8868";

Sample english, russian, japanese, x86_reboot;

class InstallE2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("LC_ALL");  // wine takes the user's locale from LANG unless this overrides it
    english = sample_package("1033", "{7E1D5C52-8B3A-4F0E-9D61-2A4C6B8E0F13}", "Msiboot Sample EN", "English sample");
    russian = sample_package("1049", "{2B7A4E10-5C3D-4F8E-A1B2-C3D4E5F60718}", "Msiboot Sample RU", "Russian sample");
    japanese = sample_package("1041", "{5D0C3B9A-6E4F-4A21-8B7C-1D2E3F405162}", "Msiboot Sample JA", "Japanese sample");
    japanese.package.title = kJapaneseTitle;
    // A 32-bit package labelled x64, as pack tells publishers to label one, that asks for a restart.
    x86_reboot = sample_package("1033", "{9A8B7C6D-5E4F-4321-A0B1-C2D3E4F50617}", "Msiboot Sample X86",
                                "32-bit sample", {"--arch", "x86", "--reboot", "yes"});
    setup_ = make_stub_copy("setup.exe", bundle_container({russian.package, english.package}));
  }
  void SetUp() override { ensure_prefix(); }
  void TearDown() override {
    for (const Sample* s : {&english, &russian, &x86_reboot}) remove_product(s->code, s == &x86_reboot ? "/reg:32" : "/reg:64");
    fs::remove_all(installer_folder(japanese.code));  // only ever given to the recorder
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
  EXPECT_TRUE(installed(english));
  EXPECT_EQ(read_if_present(prefix_path("C:\\Program Files\\Msiboot Sample EN\\data.bin")),
            msiboot_tool::read_file_bytes(english.dir + "/files/data.bin"));
  expect_items_in(installer_folder(english.code), english.package);
}

TEST_F(InstallE2e, AFailedInstallationDeletesWhatWasWritten) {
  RobotRun run = run_setup({"/qn", "BLOCKINSTALL=1"});
  EXPECT_EQ(run.exit_code, 1603) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  EXPECT_FALSE(fs::exists(installer_folder(english.code)));
  EXPECT_FALSE(product_registered(english.code));
}

// The first run's product folder is not reused under wine, which reports the user as the owner
// of every file, so the maintenance run writes it anew.
TEST_F(InstallE2e, AFailedMaintenanceRunKeepsThePackageOfTheInstalledProduct) {
  ASSERT_EQ(run_setup({"/qn"}).exit_code, 0);
  fs::remove_all(installer_folder(english.code));
  RobotRun run = run_setup({"/qn", "BLOCKINSTALL=1"});
  EXPECT_EQ(run.exit_code, 1603) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  EXPECT_TRUE(product_registered(english.code));
  expect_items_in(installer_folder(english.code), english.package);
}

TEST_F(InstallE2e, TheInstallerGetsTheExactCommandLineAndItsExitCodeComesBack) {
  InstallerRecorder recorder(1602);
  RobotRun run = run_setup({"/QUIET", "TARGETDIR=C:\\Program Files\\X", "x\ty"});
  EXPECT_EQ(run.exit_code, 1602) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  const std::string expected = std::string("C:\\windows\\system32\\msiexec.exe /i ") +
                               "C:\\windows\\Installer\\" + english.code +
                               "\\main.msi /QUIET \"TARGETDIR=C:\\Program Files\\X\" \"x\ty\"";
  EXPECT_EQ(recorder.command_lines(), std::vector<std::string>{expected});
  EXPECT_FALSE(fs::exists(installer_folder(english.code)));
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
    EXPECT_FALSE(product_registered(english.code));
    EXPECT_FALSE(fs::exists(installer_folder(english.code)));
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
  EXPECT_TRUE(installed(english));
  TearDown();

  msiboot_test::write_file_bytes(folder + "/setupA.exe", read_if_present(make_stub_copy("x86.exe", x86_only_container())));
  fs::copy_file(setup_, folder + "/setup\uFF21.exe", fs::copy_options::overwrite_existing);
  InstallerRecorder recorder(0);
  RobotRun fullwidth = run_under_robot(folder + "/setup\uFF21.exe", {"/qn"});
  EXPECT_EQ(fullwidth.exit_code, 0) << fullwidth.transcript;
  EXPECT_EQ(recorder.command_lines().size(), 1u);
  expect_items_in(installer_folder(english.code), english.package);
}

// The container with the trailer ids of its first two packages' records swapped (packages 1000
// and 1002, each followed by its cabinet): every signature still verifies, but neither record is
// the one its entry was packed with.
Bytes with_package_records_swapped(Bytes container) {
  uint32_t end = static_cast<uint32_t>(container.size());
  std::vector<uint32_t> id_at;  // offsets of the package trailers' id fields
  while (end >= kRecordTrailerSize) {
    end -= kRecordTrailerSize;
    if (memcmp(container.data() + end, FileRecordType, sizeof(RecordType)) != 0) break;
    uint32_t id = read_u32le(container.data() + end + 16);
    if (id == 1000 || id == 1002) id_at.push_back(end + 16);
    end -= read_u32le(container.data() + end + 20) + read_u32le(container.data() + end + 24);
  }
  EXPECT_EQ(id_at.size(), 2u);
  for (int i = 0; i < 4 && id_at.size() == 2; ++i) std::swap(container[id_at[0] + i], container[id_at[1] + i]);
  return container;
}

// Each way an attacker, a deployment system or a user in another writing has made the stub
// install what it must not: refused with nothing written, or the installer given exactly what
// the user gave. Runs that reach the installer show its arguments as it splits them and the
// owner and DACL of the product folder the stub made.
TEST_F(InstallE2e, WhatAnAttackerOrADeploymentTriesHolds) {
  const Bytes japanese_english = bundle_container({japanese.package, english.package});
  msiboot_tool::ManifestWriter unbound;  // as no released writer makes it: no binding field
  unbound.package(1000, "x64", "1033", english.code, english.name).cabinet(1001, {1000}, "sample.cab");
  const std::string setup = make_stub_copy("ja-en.exe", japanese_english);
  const std::string other = make_stub_copy("other.exe", bundle_container({russian.package}));
  const std::string swapped = make_stub_copy("swapped.exe", with_package_records_swapped(japanese_english));
  // Two languages whose cabinets hold the same bytes: carried once, both entries naming its record.
  Sample russian_sharing = russian;
  russian_sharing.package.cabinets[0].content = english.package.cabinets[0].content;
  const Bytes shared = bundle_container({russian_sharing.package, english.package});
  // Smaller by the cabinet's record (its stream, signature and trailer), within a few bytes of manifest.
  const size_t record = msiboot_test::zlib_stream(english.package.cabinets[0].content).size() + 256 + 28;
  EXPECT_GE(bundle_container({russian.package, english.package}).size() + 32, shared.size() + record);
  const std::string sharing = make_stub_copy("shared-cabinet.exe", shared);
  struct Scenario {
    const char* name;
    std::string setup, lang;
    std::vector<std::string> args;
    std::string swapped_in;         // replaces setup.exe while it starts
    int exit_code;                  // 13: refused with the failure box
    const Sample* installed;        // the package the installer gets, or none
    std::vector<std::string> seen;  // the installer's arguments after the package, when it runs
  };
  const Scenario scenarios[] = {
      {"ids swapped, a Japanese user (code page 932)", swapped, "ja_JP.UTF-8", {}, {}, 13, nullptr, {}},
      {"ids swapped, an English user", swapped, "en_US.UTF-8", {}, {}, 13, nullptr, {}},
      {"the same bundle as packed, the Japanese user", setup, "ja_JP.UTF-8", {"/qn"}, {}, 0, &japanese, {"/qn"}},
      {"a manifest without bindings",
       make_stub_copy("unbound.exe",
                      msiboot_test::write_container({{true, 0, unbound.bytes()},
                                                     {false, 1000, english.package.msi},
                                                     {false, 1001, english.package.cabinets[0].content}},
                                                    msiboot_test::test_signing_key())),
       "en_US.UTF-8", {}, {}, 13, nullptr, {}},
      {"a tab, and a line feed before an installer option", setup, "en_US.UTF-8",
       {"INSTALLDIR=C:\\A\tBLOCKINSTALL=1", "P=a\n/lv", "C:\\x.log"}, {}, 0, &english,
       {"INSTALLDIR=C:\\A<09>BLOCKINSTALL=1", "P=a<0A>/lv", "C:\\x.log"}},
      {"another bundle of the same key put at setup.exe's path while it starts", setup, "ru_RU.UTF-8", {}, other,
       13, nullptr, {}},
      {"one cabinet for two languages, the Russian user", sharing, "ru_RU.UTF-8", {"/qn"}, {}, 0, &russian_sharing, {"/qn"}},
      {"one cabinet for two languages, the English user", sharing, "en_US.UTF-8", {"/qn"}, {}, 0, &english, {"/qn"}},
  };
  for (const Scenario& c : scenarios) {
    SCOPED_TRACE(c.name);
    InstallerRecorder recorder(0);
    ScopedVariable probe("MSIBOOT_RECORDER_PROBE", "1");
    ScopedVariable locale("LANG", c.lang);
    make_stub_copy("ja-en.exe", japanese_english);  // a swap leaves the other bundle there
    RobotRun run = c.swapped_in.empty() ? run_under_robot(c.setup, c.args)
                                        : run_swapped_under_robot(c.setup, c.swapped_in, c.args);
    if (c.exit_code == 13) expect_failure_box(run, 13);
    EXPECT_EQ(run.exit_code, c.exit_code) << run.transcript;
    for (const Sample* s : {&english, &russian, &japanese}) {
      EXPECT_EQ(fs::exists(installer_folder(s->code)), c.installed != nullptr && s->code == c.installed->code) << s->code;
    }
    ASSERT_EQ(recorder.command_lines().size(), c.installed != nullptr ? 1u : 0u);
    if (c.installed == nullptr) continue;
    std::vector<std::string> args = recorder.values("arg");
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(args[1], "C:\\windows\\Installer\\" + c.installed->code + "\\main.msi");
    EXPECT_EQ(std::vector<std::string>(args.begin() + 2, args.end()), c.seen);
    ASSERT_EQ(run.windows.size(), 1u) << run.transcript;
    EXPECT_EQ(run.windows[0].caption, c.installed->package.title);
    expect_items_in(installer_folder(c.installed->code), c.installed->package);
    // As wine can show it (it keeps no owner or protected DACL of its own, only the Linux mode):
    // no one but SYSTEM and the owner may do anything.
    const std::vector<std::string> folder = recorder.values("folder");
    ASSERT_EQ(folder.size(), 1u);
    const std::string owner = folder[0].substr(2, folder[0].find("D:") - 2);
    EXPECT_EQ(folder[0], "O:" + owner + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + owner + ")");
    fs::remove_all(installer_folder(c.installed->code));
  }
}

// A 32-bit package registers in the 32-bit registry view; one that ends with 3010 (installed, a
// restart needed) keeps its files as the product's repair source.
TEST_F(InstallE2e, A32BitPackageThatAsksForARestartKeepsItsFiles) {
  RobotRun run = run_under_robot(make_stub_copy("x86.exe", bundle_container({x86_reboot.package})), {"/qn"});
  EXPECT_EQ(run.exit_code, 3010) << run.transcript;
  EXPECT_TRUE(run.boxes.empty()) << run.transcript;
  EXPECT_TRUE(product_registered(x86_reboot.code, "/reg:32"));
  EXPECT_FALSE(product_registered(x86_reboot.code));
  expect_items_in(installer_folder(x86_reboot.code), x86_reboot.package);
}

}  // namespace
