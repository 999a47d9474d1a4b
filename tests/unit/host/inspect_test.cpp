// inspect's model of setup.exe files of every kind, made here from a small stub-like program and
// bundles of the test support: its JSON by the fields, its text against one golden output per kind
// (inspect_golden/, rewritten by MSIBOOT_UPDATE_GOLDEN=1), and extract, which writes what the model
// says a locale gets.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "authenticode/carrier_certificate.h"
#include "bundle.h"
#include "commands/extract_command.h"
#include "container/layout.h"
#include "container/signing_key.h"
#include "files/file_bytes.h"
#include "files/tool_error.h"
#include "inspect/json_report.h"
#include "inspect/text_report.h"
#include "payload/payload_key_slot.h"
#include "pe/certificate_table.h"
#include "payload/container.h"
#include "platform/heap_test.h"
#include "test_files.h"
#include "test_signing.h"

namespace {

namespace fs = std::filesystem;
using namespace msiboot_tool;

const Bytes kMsi(3000, 'm'), kCabinet = incompressible_bytes(2000, 9);

// The minimal program with a key slot in its code section, holding key.
Bytes stub_like(const Bytes& key) {
  Bytes image = msiboot_test::minimal_pe32plus_image();
  std::copy(kKeySlotMarker, kKeySlotMarker + kKeySlotMarkerSize, image.begin() + 0x210);
  std::copy(key.begin(), key.end(), image.begin() + 0x210 + kKeySlotMarkerSize);
  update_pe_checksum(image);
  return image;
}

BundlePackage package(const char* architecture, const char* languages, const char* folder, const char* title) {
  return {architecture, languages, folder, title, kMsi, {{"data.cab", kCabinet}}};
}

// Every file in a folder of this program's own, which is the current folder while the tests run,
// so that the reports name the files as given.
class Inspect : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = msiboot_test::scratch_dir("msiboot-inspect");
    fs::current_path(work_);
    const Bytes key = read_file_bytes(msiboot_test::test_keys_dir() + "/test-payload-key.blob");
    const Bytes stub = stub_like(key), signed_stub = msiboot_test::sign_with_test_signer(stub);
    const Bytes both = bundle_container({package("x64", "1049", "{RU}", "Sample RU"), package("x64", "1033", "{EN}", "Sample EN")});
    const Bytes carrier = make_carrier_certificate(both, self_issuer(msiboot_test::test_signing_key().pkey.get()));
    Bytes tampered = add_signature_certificates(signed_stub, {carrier});
    tampered[0x340] ^= 1;  // code after the key slot, which the signature covers
    SigningKey other_key;
    ASSERT_TRUE(generate_signing_key(&other_key));
    const std::pair<const char*, Bytes> files[] = {
        {"released.exe", stub_like(Bytes(kPayloadPublicKeySize, 0))},
        {"append.exe", joined(stub, both)},
        {"certificate.exe", add_signature_certificates(signed_stub, {carrier})},
        {"signature-tail.exe", append_in_certificate_entry(signed_stub, both)},
        {"signed-after-packing.exe", msiboot_test::sign_with_test_signer(joined(stub, both))},
        {"tampered.exe", tampered},
        {"russian-only.exe", joined(stub, bundle_container({package("x64", "1049", "{RU}", "Sample RU")}))},
        {"german-32-bit.exe", joined(stub, bundle_container({package("x64", "1049", "{RU}", "Sample RU"),
                                                             package("Intel", "1031", "{DE}", "Sample DE")}))},
        {"other-key.blob", public_key_blob(other_key)},
        // A payload that carries a stub of its own (a product shipping this tool): its key slot is
        // not the setup's.
        {"stub-in-payload.exe", joined(joined(stub, stub_like(public_key_blob(other_key))), both)},
        // The last record's content changed: extract has written it before its digest fails it.
        {"flipped.exe", [&] {
           Bytes flipped = joined(stub, both);
           flipped[flipped.size() - 28 - 256 - 1000] ^= 1;
           return flipped;
         }()},
        // A title and a cabinet name that would clear the screen and forge a line when printed.
        {"control-characters.exe",
         joined(stub, bundle_container({{"x64", "1033", "{EN}", "Sample\x1b[2J\rEN\n  nothing needs the publisher", kMsi,
                                         {{"data\x07.cab", kCabinet}}}}))},
    };
    for (const auto& [name, bytes] : files) msiboot_test::write_file_bytes(name, bytes);
    for (const char* name : {"test-ca.pem", "test-tsa.pem"}) fs::copy_file(msiboot_test::test_keys_dir() + "/" + name, name);
  }
  static void TearDownTestSuite() {
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work_);
  }
  static SetupModel model(const std::string& setup, std::optional<uint32_t> lcid = {}, const std::string& ca = "",
                          const std::string& public_key = "") {
    return inspect_setup({setup, public_key, lcid, ca, "released.exe"});
  }
  static inline fs::path work_;
};

std::vector<std::string> sections(const ReportJson& report) {
  std::vector<std::string> out;
  for (const auto& finding : report["findings"]) {
    out.push_back((finding["warning"] ? "warning " : "") + finding["section"].get<std::string>());
  }
  return out;
}

TEST_F(Inspect, TheJsonNamesWhatEachKindOfSetupHoldsAndWhatNeedsThePublisher) {
  struct Case {
    std::string setup;
    std::optional<uint32_t> lcid;
    std::string ca, public_key;
    const char* placement;  // of the first container; null: none is found
    bool found_by_stub;
    std::vector<std::string> sections;  // of the findings, in order
  };
  const Case cases[] = {
      {"append.exe", {}, "", "", "append", true, {}},
      {"certificate.exe", {}, "test-ca.pem", "", "certificate", true, {}},
      {"certificate.exe", {}, "test-tsa.pem", "", "certificate", true, {"authenticode"}},  // not a root of it
      {"signature-tail.exe", {}, "", "", "signature-tail", true, {}},
      {"signed-after-packing.exe", {}, "", "", "append", false, {"containers", "discovery"}},
      {"tampered.exe", {}, "", "", "certificate", true, {"authenticode", "stub"}},
      // The locales no package lists get nothing: a warning, a failure with --strict.
      {"russian-only.exe", {}, "", "", "append", true, {"warning locales"}},
      {"russian-only.exe", 1031, "", "", "append", true, {"choice"}},
      // 1031 is listed by a 32-bit package only, which is never installed.
      {"german-32-bit.exe", {}, "", "", "append", true, {"locales", "warning locales", "warning locales", "warning locales"}},
      {"append.exe", {}, "", "other-key.blob", "append", true, {"containers", "containers", "discovery"}},
      {"stub-in-payload.exe", {}, "", "", "append", true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup + " " + c.ca + c.public_key);
    const ReportJson report = render_json(model(c.setup, c.lcid, c.ca, c.public_key));
    EXPECT_EQ(sections(report), c.sections) << report["findings"];
    auto failure = [](const std::string& section) { return section.rfind("warning", 0) != 0; };
    EXPECT_EQ(report["exit_status"], std::any_of(c.sections.begin(), c.sections.end(), failure) ? 1 : 0);
    EXPECT_EQ(exit_status(model(c.setup, c.lcid, c.ca, c.public_key), true), c.sections.empty() ? 0 : 1);
    EXPECT_EQ(report["key"]["source"], c.public_key.empty() ? "stub" : "given");
    const ReportJson& container = report["containers"][0];
    EXPECT_EQ(container["placement"], c.placement);
    EXPECT_EQ(container["found_by_stub"], c.found_by_stub);
    for (const auto& record : container["records"]) EXPECT_EQ(record["signature_valid"], c.public_key.empty());
    EXPECT_EQ(report["discovery"]["code"], c.found_by_stub && c.public_key.empty() ? 0 : c.found_by_stub ? 1392 : 1168);
  }
  // Entries as fields, each bound to its record; every kind of locale with the package it gets.
  const ReportJson report = render_json(model("append.exe"));
  const ReportJson& entries = report["containers"][0]["manifest"];
  EXPECT_EQ(entries[0], ReportJson({{"id", 1000}, {"kind", "package"}, {"architecture", "x64"}, {"languages", {1049}},
                                    {"folder", "{RU}"}, {"title", "Sample RU"}, {"binding", entries[0]["binding"]}}));
  EXPECT_EQ(entries[2]["file"], "data.cab");
  for (const auto& entry : entries) EXPECT_EQ(entry["binding"]["sha256"].get<std::string>().size(), 64u) << entry;
  std::vector<std::pair<uint32_t, std::string>> gets;
  for (const auto& row : report["locales"]) gets.emplace_back(row["lcid"], report["packages"][row["package"].get<size_t>()]["folder"]);
  EXPECT_EQ(gets, (std::vector<std::pair<uint32_t, std::string>>{{1049, "{RU}"}, {1033, "{EN}"}, {2073, "{RU}"},
                                                                 {2057, "{EN}"}, {1025, "{EN}"}}));
  EXPECT_EQ(report["authenticode"].begin().key(), "state");  // in the order the text shows
  const std::string finding = render_json(model("signed-after-packing.exe"))["findings"][0]["text"];
  for (const char* words : {"signed after its container was appended", "--placement certificate", "signature-tail"}) {
    EXPECT_NE(finding.find(words), std::string::npos) << finding;
  }
  EXPECT_EQ(render_json(model("certificate.exe", 1031))["choice"]["folder"], "{EN}");
}

TEST_F(Inspect, TheTextOfEachKindOfSetupIsItsGoldenOutput) {
  const std::string golden = std::string(MSIBOOT_SOURCE_DIR) + "/tests/unit/host/inspect_golden/";
  struct Case {
    const char* setup;
    std::optional<uint32_t> lcid;
    const char* ca;
  };
  for (const Case& c : {Case{"append.exe", {}, ""}, Case{"append.exe", 1031, ""}, Case{"certificate.exe", {}, "test-ca.pem"},
                        Case{"signature-tail.exe", {}, ""}, Case{"signed-after-packing.exe", {}, ""},
                        Case{"control-characters.exe", {}, ""}}) {
    const std::string name = std::string(c.setup, std::strlen(c.setup) - 4) + (c.lcid ? "-1031" : "") + ".txt";
    SCOPED_TRACE(name);
    // The release number stands as VERSION, so that a new release needs no new golden texts.
    std::string text = render_text(model(c.setup, c.lcid, c.ca));
    if (size_t at = text.find(" " MSIBOOT_VERSION " "); at != std::string::npos) {
      text.replace(at + 1, std::strlen(MSIBOOT_VERSION), "VERSION");
    }
    if (std::getenv("MSIBOOT_UPDATE_GOLDEN") != nullptr) msiboot_test::write_file_bytes(golden + name, Bytes(text.begin(), text.end()));
    std::ifstream expected(golden + name);
    EXPECT_EQ(text, (std::stringstream() << expected.rdbuf()).str());
  }
}

// extract writes what a locale gets, as the stub would write it; nothing when it gets nothing.
TEST_F(Inspect, ExtractWritesTheFilesOfTheLocalesPackage) {
  struct Case {
    const char* setup;
    uint32_t lcid;
    const char* refusal;  // empty: it writes main.msi and data.cab
  };
  for (const Case& c : {Case{"append.exe", 2057, ""}, Case{"signature-tail.exe", 1049, ""},
                        Case{"russian-only.exe", 1031, "the stub would install nothing for 1031 (code 13 at site 2151"},
                        Case{"signed-after-packing.exe", 1033, "(code 1168 at site"},
                        Case{"flipped.exe", 1033, "(code 13 at site 2151"}}) {
    SCOPED_TRACE(c.setup);
    const std::string out = "extracted-" + std::to_string(c.lcid);
    fs::remove_all(out);
    if (*c.refusal != '\0') {
      try {
        extract_command({c.setup, c.lcid, out});
        ADD_FAILURE() << "extracted";
      } catch (const ToolError& e) {
        EXPECT_EQ(e.file(), c.setup);
        EXPECT_NE(e.reason().find(c.refusal), std::string::npos) << e.reason();
      }
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    extract_command({c.setup, c.lcid, out});
    EXPECT_EQ(read_file_bytes(out + "/main.msi"), kMsi);
    EXPECT_EQ(read_file_bytes(out + "/data.cab"), kCabinet);
  }
}

// A zlib stream of 1 MiB of zeros flushed, then the same independent block again and again: a
// few bytes a MiB, with no end, as an attacker would craft it.
Bytes endless_zeros(size_t mebibytes) {
  const Bytes zeros(1u << 20, 0);
  Bytes out;
  z_stream s = {};
  deflateInit(&s, 9);
  for (int round = 0; round < 2; ++round) {
    Bytes piece(deflateBound(&s, zeros.size()) + 64);
    s.next_in = const_cast<uint8_t*>(zeros.data());
    s.avail_in = static_cast<uInt>(zeros.size());
    s.next_out = piece.data();
    s.avail_out = static_cast<uInt>(piece.size());
    deflate(&s, Z_FULL_FLUSH);
    piece.resize(piece.size() - s.avail_out);
    for (size_t i = 0; i < (round == 0 ? 1 : mebibytes - 1); ++i) out.insert(out.end(), piece.begin(), piece.end());
  }
  deflateEnd(&s);
  return out;
}

// A record no entry binds, made to inflate to 4 GiB, is followed no further than a cap: inspect
// reports it unreadable within the memory of its file.
TEST_F(Inspect, ARecordMadeToInflateFarPastItsFileIsFollowedNoFurtherThanACap) {
  Bytes setup = read_file_bytes("append.exe");
  const Bytes bomb = endless_zeros(4096);
  setup.insert(setup.end(), bomb.begin(), bomb.end());
  setup.resize(setup.size() + 256, 0);
  append_trailer(setup, FileRecordType, 999, 256, static_cast<uint32_t>(bomb.size()));
  msiboot_test::write_file_bytes("bomb.exe", setup);
  heap_test_reset();
  const SetupModel bombed = model("bomb.exe", 1033);
  EXPECT_LE(heap_test_largest_block(), setup.size());
  const RecordReport& record = bombed.payload.containers.at(0).records.at(0);
  EXPECT_EQ(record.id, 999u);
  EXPECT_FALSE(record.inflates);
  EXPECT_EQ(record.lookup, status_of(13, kSiteFileInflate));
  EXPECT_EQ(bombed.payload.locales.at(0).status, status_of(0, kSitePackageChoice)) << "the bundle installs still";
}

}  // namespace
