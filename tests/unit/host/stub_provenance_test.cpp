// The released-stub comparison: setup.exe files packed from the built stub in each placement are
// recognised with their key, anything else is counted and located, never crashed on.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <string>
#include <vector>

#include "branding/stub_branding.h"
#include "bundle.h"
#include "files/file_bytes.h"
#include "inspect/json_report.h"
#include "inspect/stub_provenance.h"
#include "inspect/text_report.h"
#include "payload/pe_layout.h"
#include "pe/certificate_table.h"
#include "pe/key_slot.h"
#include "test_signing.h"

namespace {

using namespace msiboot_tool;

std::string sha256_hex(const Bytes& bytes) {
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(bytes.data(), bytes.size(), digest);
  return hex_text(digest);
}


TEST(StubProvenance, RecognisesTheReleasedStubAndLocatesEveryOtherDifference) {
  const Bytes released = read_file_bytes(MSIBOOT_UNSTAMPED_STUB);
  const Bytes key = read_file_bytes(msiboot_test::test_keys_dir() + "/test-payload-key.blob");
  const Bytes container = bundle_container({{"x64", "1033", "Product", "Product", Bytes(100, 7), {}}});
  const Bytes stamped = stamp_stub(released, key);
  const Bytes signed_stub = msiboot_test::sign_with_test_signer(stamped);
  const Bytes carrier = make_carrier_certificate(container, msiboot_test::load_test_ca());
  // A byte of the code: the first section's data starts where the headers end.
  using namespace pe_layout;
  const uint32_t nt = get_u32le(released, kNtHeadersOffsetField);
  const size_t code = get_u32le(released, nt + kOptionalHeader + kHeadersSizeField) + 16;
  Bytes patched = stamped;
  patched[code] ^= 1;
  const uint64_t image_end = sections_end(released);
  // Branded before stamping, as the tool does; the version information grows the section.
  const Bytes branded = stamp_stub(
      brand_stub(released, {{}, VersionFields{{{3, 1, 4, 1}}, "Product", "Company", "", "(c) Someone"}}), key);
  Bytes branded_patched = branded;
  branded_patched[code] ^= 1;
  const std::string fingerprint = sha256_hex(key);

  struct Case {
    const char* name;
    Bytes setup;
    bool released;
    std::string key_sha256;
    int64_t differing, first;  // -1: any
    std::string line;          // in the text, when given
  } cases[] = {
      {"appended", joined(stamped, container), true, fingerprint, 0, 0, "stub, key sha256 " + fingerprint},
      {"appended, empty slot", joined(released, container), true, "", 0, 0, "key slot empty"},
      {"signature tail", append_in_certificate_entry(signed_stub, container), true, fingerprint, 0, 0, ""},
      {"carrier certificate", add_signature_certificates(signed_stub, {carrier}), true, fingerprint, 0, 0, ""},
      {"a byte of code", joined(patched, container), false, "", 1, static_cast<int64_t>(code),
       "stub: 1 byte differs, the first at offset " + std::to_string(code)},
      {"branded", joined(branded, container), true, fingerprint, 0, 0, "stub branded with its own icon"},
      {"branded, a byte of code", joined(branded_patched, container), false, "", 1, static_cast<int64_t>(code), ""},
      {"truncated", Bytes(stamped.begin(), stamped.begin() + 1000), false, "",
       static_cast<int64_t>(image_end - 1000), 1000, ""},
      {"another program", msiboot_test::minimal_pe32plus_image(), false, "", -1, -1, ""},
      {"empty file", {}, false, "", static_cast<int64_t>(image_end), 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StubProvenance p = compare_with_released_stub(c.setup.data(), c.setup.size(), released);
    ASSERT_TRUE(p.compared) << p.problem;
    EXPECT_EQ(p.released, c.released);
    EXPECT_EQ(p.key_sha256, c.key_sha256);
    if (c.differing >= 0) {
      EXPECT_EQ(p.differing_bytes, static_cast<uint64_t>(c.differing));
      EXPECT_EQ(p.first_difference, static_cast<uint64_t>(c.first));
    }
    EXPECT_EQ(stub_provenance_json(p)["released"], c.released);
    EXPECT_NE(stub_provenance_text(p).find(c.line), std::string::npos) << stub_provenance_text(p);
  }

  // A released stub that is no msiboot stub, or no file at all, is a problem to report.
  const Bytes setup = joined(stamped, container);
  StubProvenance foreign = compare_with_released_stub(setup.data(), setup.size(),
                                                      msiboot_test::minimal_pe32plus_image());
  EXPECT_FALSE(foreign.compared);
  EXPECT_NE(foreign.problem.find("key slot"), std::string::npos);
  StubProvenance missing = compare_with_stub_file(setup.data(), setup.size(), "/nonexistent/stub.exe");
  EXPECT_EQ(stub_provenance_text(missing).rfind("  stub: not compared with the released stub: /nonexistent", 0), 0u);
}

}  // namespace
