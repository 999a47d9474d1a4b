// The msiboot tool as a publisher uses it: installed from its Debian package (unpacked into a
// temporary root), packing the sample packages of scripts/sample-msi into each placement, and the
// setup.exe run under wine; inspect and extract checked against what the stub then installed.
// Only the tests that run a setup.exe start wine.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "branding/message_translations.h"
#include "files/file_bytes.h"
#include "test_bytes.h"
#include "test_files.h"
#include "test_process.h"
#include "test_signing.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;
using msiboot_tool::append_u32le;
using msiboot_tool::read_file_bytes;

Sample english, russian;

std::string work(const std::string& name) { return e2e_work_dir() + "/" + name; }

using ToolRun = msiboot_test::ProcessRun;
using msiboot_test::run_process;

std::string sample_msi(const Sample& s) { return s.dir + "/sample.msi"; }

// The publisher's icon of the branding tests: one solid colour (c81ea0) in 16, 32 and 48 px
// 32-bit bitmaps, so that any place that shows it can be told from the stub's own icon.
std::string publisher_icon() {
  const std::string path = work("publisher.ico");
  Bytes head = {0, 0, 1, 0, 3, 0}, images;
  for (uint8_t size : {16, 32, 48}) {
    Bytes image;
    for (uint32_t field : {40u, uint32_t{size}, 2u * size, 1u | 32u << 16, 0u, 0u, 0u, 0u, 0u, 0u}) append_u32le(image, field);
    for (int i = 0; i < size * size; ++i) image.insert(image.end(), {0xa0, 0x1e, 0xc8, 0xff});
    image.resize(image.size() + (size + 31) / 32 * 4 * size, 0);  // the AND mask: all opaque
    head.insert(head.end(), {size, size, 0, 0, 1, 0, 32, 0});
    append_u32le(head, static_cast<uint32_t>(image.size()));
    append_u32le(head, static_cast<uint32_t>(6 + 16 * 3 + images.size()));
    images.insert(images.end(), image.begin(), image.end());
  }
  head.insert(head.end(), images.begin(), images.end());
  msiboot_test::write_file_bytes(path, head);
  return path;
}

// The sample's package in a folder of its own, its cabinet holding a file of size incompressible
// bytes beside the package's own files; returns the package's path.
std::string with_large_cabinet(const Sample& sample, const std::string& name, size_t size) {
  const std::string dir = work(name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(sample.dir + "/files", dir);
  msiboot_test::write_file_bytes(dir + "/large.bin", incompressible_bytes(size, 4));
  fs::copy_file(sample_msi(sample), dir + "/sample.msi");
  run_process({"sh", "-c", "cd " + dir + " && gcab -c -n sample.cab readme.txt data.bin large.bin"});
  return dir + "/sample.msi";
}

class ToolE2e : public ::testing::Test {
 protected:
  // The samples, the Debian package unpacked, and one setup.exe of both packages (Russian first).
  static void SetUpTestSuite() {
    unsetenv("LC_ALL");  // wine takes the user's locale from LANG unless this overrides it
    english = sample_package("1033", "{7E1D5C52-8B3A-4F0E-9D61-2A4C6B8E0F13}", "Msiboot Tool EN", "Msiboot Tool EN readme");
    russian = sample_package("1049", "{2B7A4E10-5C3D-4F8E-A1B2-C3D4E5F60718}", "Msiboot Tool RU", "Msiboot Tool RU readme");
    const std::string deb = work("deb"), root = work("root");
    fs::remove_all(deb);
    fs::remove_all(root);
    ASSERT_EQ(run_process({"cpack", "--config", MSIBOOT_CPACK_CONFIG, "-B", deb}).exit_code, 0);
    for (const auto& entry : fs::directory_iterator(deb)) {
      if (entry.path().extension() == ".deb") {
        ASSERT_EQ(run_process({"dpkg-deb", "-x", entry.path().string(), root}).exit_code, 0);
      }
    }
    tool_ = root + "/usr/bin/msiboot";
    ToolRun pack = tool({"pack", "--key", msiboot_test::test_key_path(), "-o", work("setup.exe"),
                         sample_msi(russian), sample_msi(english)});
    ASSERT_EQ(pack.exit_code, 0) << pack.err;
    EXPECT_NE(pack.err.find("stamping"), std::string::npos) << "the installed stub trusts no key: " << pack.err;
  }
  static ToolRun tool(std::vector<std::string> args) {
    args.insert(args.begin(), tool_);
    return run_process(args);
  }
  static RobotRun run_setup(const std::string& setup, const char* lang = "C.UTF-8") {
    ScopedVariable locale("LANG", lang);
    return run_under_robot(setup, {"/qn"});
  }
  static std::string signed_stub(const std::string& from = MSIBOOT_STUB, const std::string& name = "signed-stub.exe") {
    // Signed once per run: a file left by an earlier run may hold an older stub.
    static std::set<std::string> signed_here;
    const std::string path = work(name);
    if (signed_here.insert(path).second) {
      msiboot_test::write_file_bytes(path, msiboot_test::sign_with_test_signer(read_file_bytes(from)));
    }
    return path;
  }
  // What the system reads of a program in the prefix: its checksum check and version information.
  static std::string system_reading(const std::string& path) {
    std::string windows_path = "Z:" + path;
    std::replace(windows_path.begin(), windows_path.end(), '/', '\\');
    std::string read_back = run_in_prefix({MSIBOOT_VERSION_READER, windows_path});
    std::erase(read_back, '\r');
    return read_back;
  }
  // Packs the English sample into a signed stub: the signature stays valid, the checksum is the
  // whole file's and the setup.exe installs.
  static std::string pack_signed_and_install(const std::string& stub, const std::string& placement) {
    const std::string setup = work("setup-" + placement + ".exe");
    ToolRun pack = tool({"pack", "--key", msiboot_test::test_key_path(), "-o", setup, "--stub", stub,
                         "--placement", placement, sample_msi(english)});
    EXPECT_EQ(pack.exit_code, 0) << pack.err;
    EXPECT_TRUE(msiboot_test::verifies_with_test_ca(read_file_bytes(setup)));
    EXPECT_EQ(system_reading(setup).rfind("checksum matches\n", 0), 0u);
    RobotRun run = run_setup(setup);
    EXPECT_EQ(run.exit_code, 0) << run.transcript;
    EXPECT_TRUE(installed(english));
    return setup;
  }
  static inline std::string tool_;
};

// The tests that run a setup.exe under wine, each leaving the prefix without the samples.
class ToolWineE2e : public ToolE2e {
 protected:
  void SetUp() override { ensure_prefix(); }
  void TearDown() override {
    for (const Sample* s : {&english, &russian}) remove_product(s->code);
  }
};

// What inspect and extract say each locale gets is what the stub installs (the JSON's fields are
// the inspect unit tests').
TEST_F(ToolWineE2e, InspectAndExtractAgreeWithWhatTheStubInstallsForEachLocale) {
  struct Case {
    uint32_t lcid;
    const char* lang;
    const Sample* expected;
  };
  for (const Case& c : {Case{1033, "en_US.UTF-8", &english}, Case{2057, "en_GB.UTF-8", &english},
                        Case{1049, "ru_RU.UTF-8", &russian}, Case{1031, "de_DE.UTF-8", &english}}) {
    SCOPED_TRACE(c.lang);
    ToolRun inspect = tool({"inspect", work("setup.exe"), "--lcid", std::to_string(c.lcid), "--json"});
    ASSERT_EQ(inspect.exit_code, 0) << inspect.err;
    nlohmann::json choice = nlohmann::json::parse(inspect.out)["choice"];
    EXPECT_EQ(choice["folder"], c.expected->code);
    EXPECT_EQ(choice["title"], c.expected->name);

    RobotRun run = run_setup(work("setup.exe"), c.lang);
    EXPECT_EQ(run.exit_code, 0) << run.transcript;
    const Sample& other = c.expected == &english ? russian : english;
    EXPECT_TRUE(installed(*c.expected));
    EXPECT_FALSE(product_registered(other.code));

    const std::string extracted = work("extracted-" + std::to_string(c.lcid));
    fs::remove_all(extracted);
    ASSERT_EQ(tool({"extract", work("setup.exe"), "--lcid", std::to_string(c.lcid), "-o", extracted}).exit_code, 0);
    expect_items_in(extracted, c.expected->package);
    expect_items_in(installer_folder(c.expected->code), c.expected->package);
    TearDown();
  }
  // The English cabinet's record changed after packing: inspect's verdict for each locale is the
  // stub's exit code, in the code pages of these users too (the installer is a stand-in).
  Bytes tampered = read_file_bytes(work("setup.exe"));
  tampered[tampered.size() - 28 - 256 - 40] ^= 0x20;  // inside the last record's data
  msiboot_test::write_file_bytes(work("tampered.exe"), tampered);
  InstallerRecorder recorder(0);
  for (const auto& [lcid, lang] : {std::pair{1033, "en_US.UTF-8"}, {1049, "ru_RU.UTF-8"}, {1041, "ja_JP.UTF-8"}}) {
    SCOPED_TRACE(lang);
    ToolRun inspect = tool({"inspect", work("tampered.exe"), "--lcid", std::to_string(lcid), "--json"});
    const int verdict = nlohmann::json::parse(inspect.out)["choice"]["status"]["code"];
    EXPECT_EQ(verdict, lcid == 1049 ? 0 : 13);
    EXPECT_EQ(run_setup(work("tampered.exe"), lang).exit_code, verdict);
  }
}

// Signing after packing, the order other tools use: the signature verifies and the stub finds no
// payload (what inspect says of it is the inspect unit tests').
TEST_F(ToolWineE2e, SigningAfterPackingIsRecognisedAndExplained) {
  const std::string setup = work("signed-after-packing.exe");
  msiboot_test::write_file_bytes(setup, msiboot_test::sign_with_test_signer(read_file_bytes(work("setup.exe"))));
  EXPECT_TRUE(msiboot_test::verifies_with_test_ca(read_file_bytes(setup)));
  EXPECT_EQ(run_setup(setup).exit_code, 1168);
}

// With --json, a file that cannot be read and a wrong command line are answered by a JSON error
// document too, beside the one line on stderr.
TEST_F(ToolE2e, InspectAnswersErrorsWithAJsonDocument) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* kind;
  };
  for (const Case& c : {Case{{"inspect", work("missing.exe"), "--json"}, 1, "file"},
                        Case{{"inspect", work("setup.exe"), "--json", "--lcid", "German"}, 2, "command line"}}) {
    SCOPED_TRACE(c.kind);
    ToolRun run = tool(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    const nlohmann::json error = nlohmann::json::parse(run.out)["error"];
    EXPECT_EQ(error["kind"], c.kind);
    EXPECT_NE(run.err.find(error["message"].get<std::string>()), std::string::npos) << run.err;
  }
}

// The certificate placement is the branded stub's below.
TEST_F(ToolWineE2e, EachSignaturePlacementKeepsTheSignatureValidAndInstalls) {
  pack_signed_and_install(signed_stub(), "signature-tail");
}

TEST_F(ToolWineE2e, AStubStampedWithAFreshKeyTrustsThatKeyOnly) {
  fs::remove(work("fresh.pem"));
  fs::remove(work("fresh.blob"));
  ASSERT_EQ(tool({"keygen", work("fresh.pem"), work("fresh.blob")}).exit_code, 0);
  ASSERT_EQ(tool({"stub", "--key", work("fresh.pem"), "-o", work("fresh-stub.exe")}).exit_code, 0);
  ASSERT_EQ(tool({"pack", "--key", work("fresh.pem"), "-o", work("fresh-setup.exe"), "--stub",
                  work("fresh-stub.exe"), sample_msi(english)}).exit_code, 0);
  RobotRun run = run_setup(work("fresh-setup.exe"));
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_TRUE(installed(english));
  TearDown();

  // The same stub with a payload signed by the test key: every record fails verification.
  const Bytes msi = read_file_bytes(sample_msi(english));
  RobotRun refused = run_setup(make_stub_copy(
      "fresh-test-key.exe", bundle_container({{"x64", "1033", english.code, english.name, msi, {}}}),
      work("fresh-stub.exe")));
  EXPECT_EQ(refused.exit_code, 1392) << refused.transcript;
  EXPECT_FALSE(product_registered(english.code));

  // Stamping the test key into the installed stub gives the build's own test-key stub, byte for byte.
  ASSERT_EQ(tool({"stub", "--key", msiboot_test::test_key_path(), "-o", work("test-stub.exe")}).exit_code, 0);
  EXPECT_EQ(read_file_bytes(work("test-stub.exe")), read_file_bytes(MSIBOOT_STUB));
}

// The publisher's icon and version information: branded with msiboot stub (the same bytes every
// time), signed after branding and packed into the signature, read back by wrestool and by the
// system, and shown by the progress window; pack brands an unsigned stub from the package.
TEST_F(ToolWineE2e, ABrandedStubShowsThePublishersIconAndVersionInformation) {
  const std::string icon = publisher_icon(), stub = work("branded-stub.exe"), key = msiboot_test::test_key_path();
  const std::vector<std::string> fields = {"--version", "2.5.0.17", "--product-name", "Msiboot Tool Suite", "--company",
                                           "Ünïcode Publisher", "--description", "Msiboot Tool setup",
                                           "--copyright", "© 2026 Publisher"};
  for (const std::string& out : {work("branded-again.exe"), stub}) {
    std::vector<std::string> args = {"stub", "--key", key, "-o", out, "--icon", icon};
    args.insert(args.end(), fields.begin(), fields.end());
    ASSERT_EQ(tool(args).exit_code, 0);
  }
  EXPECT_EQ(read_file_bytes(work("branded-again.exe")), read_file_bytes(stub));
  const std::string listing = run_process({"wrestool", "-l", stub}).out;
  EXPECT_NE(listing.find("--type=14 --name='APP'"), std::string::npos) << listing;
  EXPECT_NE(listing.find("--type=14 --name=1 "), std::string::npos) << listing;
  EXPECT_NE(listing.find("--type=3 --name=3 "), std::string::npos) << listing;
  EXPECT_EQ(listing.find("--type=3 --name=4 "), std::string::npos) << listing;

  // Brand, stamp, then sign: packed into the signature, the setup.exe verifies and installs.
  fs::remove(work("branded-signed.exe"));
  const std::string setup = pack_signed_and_install(signed_stub(stub, "branded-signed.exe"), "certificate");
  TearDown();
  EXPECT_EQ(system_reading(setup),
            "checksum matches\nfixed 2.5.0.17 2.5.0.17\nCompanyName=Ünïcode Publisher\nFileDescription=Msiboot Tool setup\n"
            "FileVersion=2.5.0.17\nLegalCopyright=© 2026 Publisher\nProductName=Msiboot Tool Suite\n"
            "ProductVersion=2.5.0.17\n");

  // The progress window shows the icon (in its caption) while a payload large enough to watch is
  // written.
  {
    InstallerRecorder recorder(0);
    const BundlePackage large = {"x64", "1033", english.code, english.name, incompressible_bytes(300 * 1024, 1),
                                 {{"data1.cab", incompressible_bytes(60u << 20, 2)}}};
    RobotRun shown = run_under_robot(make_stub_copy("branded-progress.exe", bundle_container({large}), stub), {"/qn"});
    EXPECT_EQ(shown.exit_code, 0) << shown.transcript;
    ASSERT_EQ(shown.windows.size(), 1u) << shown.transcript;
    const std::vector<std::string>& colours = shown.windows[0].icon_colours;
    EXPECT_NE(std::find(colours.begin(), colours.end(), "c81ea0"), colours.end()) << shown.transcript;
  }
  TearDown();

  // pack brands the unsigned stub itself: the version and product name come from the package.
  ASSERT_EQ(tool({"pack", "--key", key, "-o", work("branded-append.exe"), "--icon", icon, sample_msi(english)}).exit_code, 0);
  nlohmann::json branding = nlohmann::json::parse(tool({"inspect", work("branded-append.exe"), "--json"}).out)["branding"];
  EXPECT_EQ(branding["icon"].size(), 3u);
  EXPECT_EQ(branding["icon"][2]["width"], 48);
  EXPECT_EQ(branding["version"]["file_version"], "1.0.0.0");
  EXPECT_EQ(branding["version"]["strings"]["ProductName"], english.name);
  EXPECT_EQ(system_reading(work("branded-append.exe")).rfind("checksum matches\n", 0), 0u);
}

// pack gave the stub the bundle's languages: inspect lists them, and a damaged copy tells a
// Russian user so in Russian, a German one (no German package) in English.
TEST_F(ToolWineE2e, TheStubSpeaksTheLanguagesOfItsBundle) {
  nlohmann::json branding = nlohmann::json::parse(tool({"inspect", work("setup.exe"), "--json"}).out)["branding"];
  EXPECT_EQ(branding["message_languages"], nlohmann::json::array({1033, 1049}));
  Bytes damaged = read_file_bytes(work("setup.exe"));
  damaged.back() ^= 0x01;  // the container's last trailer: the stub finds no payload
  msiboot_test::write_file_bytes(work("damaged.exe"), damaged);
  for (const auto& [lang, text] : {std::pair<const char*, std::string>{"ru_RU.UTF-8", msiboot_tool::translation_for(1049)->texts[1]},
                                   {"de_DE.UTF-8", kCorruptText}}) {
    SCOPED_TRACE(lang);
    ScopedVariable locale("LANG", lang);
    expect_failure_box(run_under_robot(work("damaged.exe"), {}), 1168, "damaged.exe", text);
  }
}

// Packages of the kinds publishers ship, built here with wixl: each packs into a setup.exe that
// installs for the locale inspect names, or is refused with one line and no output.
TEST_F(ToolWineE2e, PackagesOfEveryKindInstallOrAreRefused) {
  struct Case {
    std::string name, arch, media, language;
    std::vector<std::string> options;  // given before the package
    std::string refusal;               // empty: it packs and installs
    void (*alter)(const std::string& dir) = nullptr;  // what befalls the built files
  };
  auto lose_cabinet = [](const std::string& dir) { fs::remove(dir + "/sample.cab"); };
  // Sparse: 4 GiB that cost no disk and are refused before they are read.
  auto grow_cabinet = [](const std::string& dir) { fs::resize_file(dir + "/sample.cab", 1ull << 32); };
  // The name on disk differs from the Media row's in case only: the same file on Windows.
  auto recase_cabinet = [](const std::string& dir) { fs::rename(dir + "/sample.cab", dir + "/SAMPLE.Cab"); };
  const std::vector<Case> cases = {
      {"x86", "x86", "external", "1033", {}, "label it with --arch x64"},
      {"x86-as-x64", "x86", "embedded", "1033", {"--arch", "x64"}, ""},
      {"neutral", "x64", "external", "0", {}, ""},
      {"loose", "x64", "loose", "1033", {}, "lie outside any cabinet (the first: readme.txt)"},
      {"no-cabinet", "x64", "external", "1033", {}, "its cabinet sample.cab is missing", lose_cabinet},
      {"huge-cabinet", "x64", "external", "1033", {}, "4294967296 bytes, more than a setup.exe record can carry",
       grow_cabinet},
      {"embedded", "x64", "embedded", "1049", {}, ""},
      {"two-cabinets", "x64", "two", "1033", {}, ""},
      {"cabinet-case", "x64", "external", "1033", {}, "", recase_cabinet},
  };
  std::string x86_msi;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const std::string setup = work("kind-" + c.name + ".exe");
    fs::remove(setup);
    const Sample s = sample_package(c.language, "{5A4D1000-0000-4000-8000-00000000000" + std::to_string(i) + "}",
                                    "Msiboot Kind " + c.name, "Kind " + c.name, {"--arch", c.arch, "--media", c.media});
    if (i == 0) x86_msi = sample_msi(s);
    if (c.alter != nullptr) c.alter(s.dir);
    std::vector<std::string> args = {"pack", "--key", msiboot_test::test_key_path(), "-o", setup};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(sample_msi(s));
    ToolRun pack = tool(args);
    if (!c.refusal.empty()) {
      EXPECT_EQ(pack.exit_code, 1);
      EXPECT_EQ(pack.err.find('\n'), pack.err.size() - 1) << pack.err;
      EXPECT_NE(pack.err.find(c.refusal), std::string::npos) << pack.err;
      EXPECT_FALSE(fs::exists(setup));
      continue;
    }
    ASSERT_EQ(pack.exit_code, 0) << pack.err;
    // A Russian user gets each of these: by its own language, or by the fallback to 1033.
    ToolRun inspect = tool({"inspect", setup, "--lcid", "1049", "--json"});
    ASSERT_EQ(inspect.exit_code, 0) << inspect.err;
    EXPECT_EQ(nlohmann::json::parse(inspect.out)["choice"]["folder"], s.code);
    RobotRun run = run_setup(setup, "ru_RU.UTF-8");
    EXPECT_EQ(run.exit_code, 0) << run.transcript;
    const std::string program_files = c.arch == "x86" ? "C:\\Program Files (x86)\\" : "C:\\Program Files\\";
    EXPECT_EQ(read_if_present(prefix_path(program_files + s.name + "\\readme.txt")), s.readme);
    run_in_prefix({"msiexec", "/x", s.code, "/qn"});
    fs::remove_all(installer_folder(s.code));
  }
  // A 32-bit twin beside its x64 package packs, with a warning that it is never installed.
  ToolRun twin = tool({"pack", "--key", msiboot_test::test_key_path(), "-o", work("twin.exe"), sample_msi(english), x86_msi});
  EXPECT_EQ(twin.exit_code, 0) << twin.err;
  EXPECT_NE(twin.err.find(x86_msi + " (9.7 KB) is never installed: it is for Intel"), std::string::npos) << twin.err;
}

// Ten packages as a response file (one argument a line, nested, with CRLF line ends), quietly,
// with the passphrase on standard input: each packs the bytes of the plain command line.
TEST_F(ToolE2e, AResponseFilePacksTheSameBytesAsTheCommandLine) {
  const std::string key = msiboot_test::test_key_path(), encrypted = work("stdin-key.pem");
  ASSERT_EQ(run_process({"openssl", "pkey", "-in", key, "-aes256", "-passout", "pass:secret", "-out", encrypted}).exit_code, 0);
  std::vector<std::string> packages;
  const char* languages[] = {"1033", "1049", "1031", "1036", "3082", "1040", "1046", "1045", "1041", "2052"};
  for (int i = 0; i < 10; ++i) {
    packages.insert(packages.end(), {"--languages", languages[i], sample_msi(i % 2 == 0 ? english : russian)});
  }
  auto lines = [](const std::vector<std::string>& args, const char* end) {
    std::string text;
    for (const std::string& a : args) text += a + end;
    return text;
  };
  std::ofstream(work("packages.rsp")) << lines(packages, "\r\n");
  std::vector<std::string> plain = {"pack", "--key", key, "-o", work("rsp-0.exe")};
  plain.insert(plain.end(), packages.begin(), packages.end());
  std::ofstream(work("whole.rsp")) << lines({"pack", "--key", key, "-o", work("rsp-1.exe"), "@" + work("packages.rsp")}, "\n");
  struct Case {
    std::vector<std::string> args;
    bool quiet;
  };
  const std::vector<Case> cases = {
      {plain, false},
      {{"@" + work("whole.rsp")}, false},
      {{"sh", "-c", "echo secret | \"$0\" \"$@\"", tool_, "pack", "--quiet", "--key", encrypted, "--key-pass", "stdin",
        "-o", work("rsp-2.exe"), "@" + work("packages.rsp")}, true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    fs::remove(work("rsp-" + std::to_string(i) + ".exe"));
    ToolRun run = cases[i].args[0] == "sh" ? run_process(cases[i].args) : tool(cases[i].args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out.empty() && run.err.empty(), cases[i].quiet) << run.out << run.err;
    EXPECT_EQ(read_file_bytes(work("rsp-" + std::to_string(i) + ".exe")), read_file_bytes(work("rsp-0.exe")));
  }
}

TEST_F(ToolE2e, BadInputGivesOneErrorLineNamingTheFileAndNoOutput) {
  const std::string key = msiboot_test::test_key_path();
  const std::string out = work("bad-setup.exe");
  const std::string text_msi = work("notes.msi"), lone_msi = work("lone/sample.msi");
  std::ofstream(text_msi) << "not a package\n";
  fs::create_directories(work("lone"));
  fs::copy_file(sample_msi(english), lone_msi, fs::copy_options::overwrite_existing);
  for (const char* name : {"bad-setup.exe", "fresh-other.pem", "fresh-other.blob", "new.pem", "taken.blob", "link.exe", "device"}) {
    fs::remove(work(name));
  }
  ASSERT_EQ(tool({"keygen", work("fresh-other.pem"), work("fresh-other.blob")}).exit_code, 0);
  std::ofstream(work("taken.blob")) << "someone's file\n";
  const std::string encrypted = work("encrypted.pem");
  ASSERT_EQ(run_process({"openssl", "pkey", "-in", key, "-aes256", "-passout", "pass:secret", "-out", encrypted}).exit_code, 0);
  // The outputs below that are inputs name a copy: a failing check must not hurt the test key.
  const std::string own_key = work("own-key.pem");
  fs::copy_file(key, own_key, fs::copy_options::overwrite_existing);
  fs::create_symlink(own_key, work("link.exe"));
  // A device node of our own (as /dev/full), where the test may make one.
  const bool device = mknod(work("device").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
  const std::string english_msi = sample_msi(english);
  msiboot_test::write_file_bytes(work("empty.ico"), {0, 0, 1, 0, 0, 0});
  std::ofstream(work("loop.rsp")) << "pack\n@" << work("loop.rsp") << "\n";
  struct Case {
    std::vector<std::string> args;
    std::string says;  // what the error line must hold: the file it names, or the reason
    std::string output;
    std::vector<std::string> unchanged = {};  // files the command must leave as they were
    int exit_code = 1;
  };
  std::vector<Case> cases = {
      {{"pack", "--key", key, "-o", out, work("missing.msi")}, work("missing.msi"), out},
      {{"pack", "--key", key, "-o", out, text_msi}, text_msi, out},
      {{"pack", "--key", lone_msi, "-o", out, english_msi}, lone_msi, out},
      {{"pack", "--key", work("fresh-other.pem"), "-o", out, "--stub", signed_stub(), english_msi},
       signed_stub(), out},
      {{"pack", "--key", key, "-o", out, "--stub", text_msi, english_msi}, text_msi, out},
      {{"pack", "--key", key, "-o", out, "--stub", MSIBOOT_STUB, "--placement", "certificate",
        english_msi}, MSIBOOT_STUB, out},
      {{"pack", "--key", key, "-o", work("missing/setup.exe"), english_msi},
       work("missing/setup.exe"), work("missing/setup.exe")},
      {{"pack", "--key", key, "-o", out, lone_msi}, "sample.cab", out},
      {{"stub", "--key", key, "-o", out, "--from", signed_stub()}, signed_stub(), out},
      {{"inspect", text_msi}, text_msi, ""},
      {{"extract", work("setup.exe"), "--lcid", "1033", "-o", work("missing/files")},
       work("missing/files"), work("missing/files")},
      // The slips a person makes: values the stub could never use, an output that is an input or
      // not a regular file, keygen over existing files, an encrypted key.
      {{"pack", "--key", key, "-o", out, "--languages", "1049;abc", english_msi}, "\"abc\" is not a language", out, {}, 2},
      {{"pack", "--key", key, "-o", out, "--languages", "0", english_msi}, "\"0\" is not a language", out, {}, 2},
      {{"pack", "--key", key, "-o", out, "--languages", "99999999", english_msi}, "\"99999999\"", out, {}, 2},
      {{"pack", "--key", key, "-o", out, "--arch", "Arm64", english_msi}, "--arch", out, {}, 2},
      {{"pack", "--key", key, "-o", out, "--folder", "CON", english_msi}, "\"CON\" is not a plain folder name", out},
      {{"pack", "--key", key, "-o", out, "--title", "Caf\xC3(", english_msi}, "is not UTF-8 text", out},
      {{"pack", "--key", key, "-o", out, "--strict", "--title", std::string(60, 'W'), english_msi}, "--strict makes it an error", out},
      {{"pack", "--key", own_key, "-o", own_key, english_msi}, "is also an input", "", {own_key}},
      {{"pack", "--key", key, "-o", english_msi, english_msi}, "is also an input", "", {english_msi}},
      {{"stub", "--key", own_key, "-o", own_key}, "is also an input", "", {own_key}},
      {{"pack", "--key", key, "-o", work("link.exe"), english_msi}, "is a symbolic link", "", {own_key}},
      {{"keygen", work("new.pem"), work("new.pem")}, "two different files", work("new.pem")},
      {{"keygen", work("new.pem"), work("taken.blob")}, "exists already", work("new.pem"), {work("taken.blob")}},
      {{"keygen", work("fresh-other.pem"), work("new.blob")}, "exists already", work("new.blob"), {work("fresh-other.pem")}},
      {{"keygen", work("new.pem"), work("missing/new.blob")}, "No such file", work("new.pem")},
      {{"pack", "--key", encrypted, "-o", out, english_msi}, "is encrypted: give its passphrase with --key-pass", out},
      {{"pack", "--key", encrypted, "--key-pass", "pass:wrong", "-o", out, english_msi}, "wrong passphrase", out},
      // Branding: what is not an icon or a version, or a stub that can no longer be branded.
      {{"stub", "--key", key, "-o", out, "--icon", text_msi}, text_msi + ": not an icon file", out},
      {{"pack", "--key", key, "-o", out, "--icon", work("empty.ico"), english_msi}, "holds no images", out},
      {{"stub", "--key", key, "-o", out, "--version", "1.2.3"}, "\"1.2.3\" is not a version", out, {}, 2},
      {{"pack", "--key", key, "-o", out, "--version", "1.2.3.65536", english_msi}, "is not a version", out, {}, 2},
      {{"stub", "--key", key, "-o", out, "--company", std::string(4097, 'x')}, "longer than the 4096 characters", out, {}, 2},
      {{"pack", "--key", key, "-o", out, "--stub", signed_stub(), "--icon", publisher_icon(), english_msi},
       "branding would break its signature", out},
      {{"stub", "--key", key, "-o", out, "--from", work("setup.exe"), "--version", "1.0.0.0"},
       work("setup.exe") + ": carries data after its image", out},
      {{"bogus", "--key", key}, "no command \"bogus\"; the commands are keygen, stub, pack", "", {}, 2},
      {{"help", "bogus"}, "no command \"bogus\"", "", {}, 2},
      {{"@" + work("missing.rsp")}, work("missing.rsp") + ": cannot read the response file", "", {}, 2},
      {{"@" + work("loop.rsp")}, work("loop.rsp") + ": response files nested too deep", "", {}, 2},
  };
  if (device) cases.push_back({{"pack", "--key", key, "-o", work("device"), english_msi}, "is a device", ""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.says);
    std::vector<Bytes> before;
    for (const std::string& path : c.unchanged) before.push_back(read_file_bytes(path));
    ToolRun run = tool(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code);
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    if (!c.output.empty()) {
      EXPECT_FALSE(fs::exists(c.output));
    }
    for (size_t i = 0; i < c.unchanged.size(); ++i) EXPECT_EQ(read_file_bytes(c.unchanged[i]), before[i]);
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  if (device) {
    EXPECT_TRUE(fs::is_character_file(work("device")));
  }
  // Nothing else is left beside the outputs either.
  for (const auto& entry : fs::directory_iterator(e2e_work_dir())) {
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
  }
  // What the slips above got wrong, given right: the encrypted key with its passphrase, and a
  // language list separated by commas, written as the stub reads it.
  ScopedVariable passphrase("MSIBOOT_TEST_PASS", "secret");
  const std::string right = work("slips-right.exe");
  ASSERT_EQ(tool({"pack", "--key", encrypted, "--key-pass", "env:MSIBOOT_TEST_PASS", "-o", right, "--languages",
                  "1049,1033", english_msi}).exit_code, 0);
  ToolRun inspect = tool({"inspect", right, "--lcid", "1049", "--json"});
  EXPECT_EQ(nlohmann::json::parse(inspect.out)["choice"]["languages"], nlohmann::json::array({1049, 1033}));
}

// Bundles the stub would not install for some user, or that would fail after it: pack refuses
// each with one line and writes nothing.
TEST_F(ToolE2e, PackRefusesWhatTheStubOrTheInstallerWouldNotInstall) {
  const std::string key = msiboot_test::test_key_path(), out = work("refused.exe");
  const Sample longer = sample_package("1033", "{5A4D2000-0000-4000-8000-000000000001}", "Msiboot Stale",
                                       "A later version's readme, longer than before", {"--media", "external"});
  // A folder of its own holding the English package beside the given cabinet files.
  auto beside = [&](const std::string& name, const std::vector<std::pair<std::string, Bytes>>& cabinets) {
    const std::string dir = work("refused-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(sample_msi(english), dir + "/sample.msi");
    for (const auto& [file, bytes] : cabinets) msiboot_test::write_file_bytes(dir + "/" + file, bytes);
    return dir + "/sample.msi";
  };
  const Bytes cabinet = read_file_bytes(english.dir + "/sample.cab");
  // Without a ProductCode, a package takes its folder from --folder.
  const std::string no_code = beside("no-code", {{"sample.cab", cabinet}});
  ASSERT_EQ(run_process({"msibuild", no_code, "-q", "DELETE FROM `Property` WHERE `Property` = 'ProductCode'"}).exit_code, 0);
  const std::string large = with_large_cabinet(english, "refused-large", 70u << 20);  // 70 MB and more
  std::vector<std::string> over_cap = {"pack", "--key", key, "-o", out};
  for (int i = 0; i < 830; ++i) {
    over_cap.insert(over_cap.end(), {"--title", std::string(255, 'T'), "--languages", "", sample_msi(english)});
    for (int language = 1000; language < 1051; ++language) over_cap.end()[-2] += std::to_string(language) + ";";
    over_cap.end()[-2].pop_back();
  }
  std::string cyrillic;
  for (int i = 0; i < 130; ++i) cyrillic += "\u0416";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {"stale cabinet", {"pack", "--key", key, "-o", out, beside("stale", {{"sample.cab", read_file_bytes(longer.dir + "/sample.cab")}})},
       "its cabinet sample.cab holds readme.txt with 46 bytes where the File table says 24"},
      {"garbage cabinet", {"pack", "--key", key, "-o", out, beside("garbage", {{"sample.cab", Bytes(4000, 'g')}})},
       "its cabinet sample.cab is not a cabinet"},
      {"case twins", {"pack", "--key", key, "-o", out, beside("twins", {{"sample.cab", cabinet}, {"Sample.CAB", cabinet}})},
       "its cabinet sample.cab is ambiguous: Sample.CAB and sample.cab"},
      {"Cyrillic title", {"pack", "--key", key, "-o", out, "--title", cyrillic, sample_msi(english)},
       "its title is 260 bytes long"},
      {"manifest over the cap", over_cap, "the manifest of its 831 entries would be"},
      {"folder unlike the ProductCode", {"pack", "--key", key, "-o", out, "--folder", russian.code, sample_msi(english)},
       "differs from its ProductCode " + english.code},
      {"long folder", {"pack", "--key", key, "-o", out, "--folder", std::string(204, 'F'), no_code},
       "its folder name is 204 bytes long"},
      {"stub from a setup.exe", {"stub", "--key", key, "-o", out, "--from", work("setup.exe")},
       "carries data after its image"},
      {"carrier of 70 MB", {"pack", "--key", key, "-o", out, "--stub", signed_stub(), "--placement", "certificate", large},
       large + ": is the largest package"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ToolRun run = tool(c.args);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
  }
  // Unasked, the placement of the large package turns to signature-tail once the container outgrows
  // a carrier, and the container collected so far goes on streaming (judged by the stub's reading
  // before it is written, and read again by inspect).
  ToolRun tail = tool({"pack", "--key", key, "-o", work("large-tail.exe"), "--stub", signed_stub(), large});
  ASSERT_EQ(tail.exit_code, 0) << tail.err;
  EXPECT_NE(tail.err.find("so the payload goes after the signature data (signature-tail)"), std::string::npos) << tail.err;
  EXPECT_NE(tail.out.find("(signature-tail)"), std::string::npos) << tail.out;
  ToolRun inspected = tool({"inspect", work("large-tail.exe"), "--json"});
  ASSERT_EQ(inspected.exit_code, 0) << inspected.out;
  EXPECT_EQ(nlohmann::json::parse(inspected.out)["containers"][0]["found_by_stub"], true);
}

// The largest payload a carrier certificate takes: the signature stays below 64 MiB, and the stub
// reads it and writes its files.
TEST_F(ToolWineE2e, TheLargestCarrierThatFitsIsReadAndWritten) {
  const std::string setup = work("largest-carrier.exe");
  const std::string large = with_large_cabinet(english, "largest-carrier", (64u << 20) - (128u << 10));
  ToolRun pack = tool({"pack", "--key", msiboot_test::test_key_path(), "-o", setup, "--stub", signed_stub(), large});
  ASSERT_EQ(pack.exit_code, 0) << pack.err;
  EXPECT_EQ(nlohmann::json::parse(tool({"inspect", setup, "--json"}).out)["containers"][0]["placement"], "certificate");
  InstallerRecorder recorder(0);
  RobotRun run = run_setup(setup);
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_EQ(read_if_present(installer_folder(english.code) + "/sample.cab"),
            read_file_bytes(fs::path(large).parent_path().string() + "/sample.cab"));
}

// A pack stopped by a signal while it works leaves no temporary file behind.
TEST_F(ToolE2e, AnInterruptedPackLeavesNoTemporaryFile) {
  const std::string dir = work("large");
  fs::create_directories(dir);
  fs::copy_file(sample_msi(english), dir + "/sample.msi", fs::copy_options::overwrite_existing);
  // Random letters deflate slowly: the pack takes seconds. They travel in the package's cabinet,
  // beside its own files.
  Bytes letters = incompressible_bytes(80000000, 3);
  for (uint8_t& b : letters) b = static_cast<uint8_t>('A' + b % 52 + (b % 52 >= 26 ? 6 : 0));
  for (const char* file : {"readme.txt", "data.bin"}) {
    fs::copy_file(english.dir + "/files/" + file, dir + "/" + file, fs::copy_options::overwrite_existing);
  }
  msiboot_test::write_file_bytes(dir + "/letters.bin", letters);
  ASSERT_EQ(run_process({"sh", "-c", "cd " + dir + " && gcab -c -n sample.cab readme.txt data.bin letters.bin"}).exit_code, 0);
  const std::string out = work("large.exe");
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    pid_t pid = msiboot_test::start_process(
        {tool_, "pack", "--key", msiboot_test::test_key_path(), "-o", out, dir + "/sample.msi"});
    auto temporary = [&] {
      for (const auto& entry : fs::directory_iterator(e2e_work_dir())) {
        if (entry.path().filename().string().rfind("large.exe", 0) == 0) return true;
      }
      return false;
    };
    for (int i = 0; i < 200 && !temporary(); ++i) usleep(50000);
    ASSERT_TRUE(temporary()) << "the pack never started its output";
    usleep(300000);
    kill(pid, signal_number);
    EXPECT_EQ(msiboot_test::wait_process(pid).signal, signal_number);
    EXPECT_FALSE(temporary());
  }
}

}  // namespace
