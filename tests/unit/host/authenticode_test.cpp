// The Authenticode check of whole setup.exe files as the tool packs them and osslsigncode signs
// them: each verdict, and the image digest computed, against osslsigncode's own verify.
#include <gtest/gtest.h>
#include <openssl/pkcs7.h>
#include <openssl/sha.h>

#include <cctype>
#include <filesystem>

#include "authenticode/signature_message.h"
#include "bundle.h"
#include "commands/pack_command.h"
#include "files/byte_buffer.h"
#include "files/file_bytes.h"
#include "inspect/json_report.h"
#include "inspect/text_report.h"
#include "pe/certificate_table.h"
#include "test_files.h"
#include "test_keys.h"
#include "test_process.h"
#include "test_signing.h"

namespace {

namespace fs = std::filesystem;
using namespace msiboot_tool;

const std::string kTestCa = msiboot_test::test_keys_dir() + "/test-ca.pem";

// A folder of this test program's own (ctest runs its tests side by side), removed at the end.
std::string work_dir;
std::string work(const std::string& name) { return work_dir + "/" + name; }

Bytes packed(const std::string& stub, Placement placement, const std::string& name) {
  PackOptions options;
  options.key_path = msiboot_test::test_key_path();
  options.output = work(name);
  options.stub = stub;
  options.placement = placement;
  options.packages.emplace_back().path = work("sample/sample.msi");
  fs::remove(options.output);
  pack_command(options);
  return read_file_bytes(options.output);
}

// A PKCS #9 countersignature by the test timestamping certificate (signing time 2023-11-14T22:15:00Z).
void add_countersignature(PKCS7* message, PKCS7_SIGNER_INFO* signer) {
  const CertificateIssuer tsa = msiboot_test::load_test_ca("test-tsa");
  PKCS7_SIGNER_INFO* counter = PKCS7_SIGNER_INFO_new();
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(signer->enc_digest->data, signer->enc_digest->length, digest);
  PKCS7_SIGNER_INFO_set(counter, tsa.certificate.get(), tsa.key.get(), EVP_sha256());
  PKCS7_add_signed_attribute(counter, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_nid2obj(NID_pkcs7_data));
  PKCS7_add_signed_attribute(counter, NID_pkcs9_signingTime, V_ASN1_UTCTIME, ASN1_UTCTIME_set(nullptr, 1700000100));
  PKCS7_add1_attrib_digest(counter, digest, sizeof digest);
  EXPECT_EQ(PKCS7_SIGNER_INFO_sign(counter), 1);
  unsigned char* der = nullptr;
  ASN1_STRING* value = ASN1_STRING_new();
  ASN1_STRING_set(value, der, i2d_PKCS7_SIGNER_INFO(counter, &der));
  OPENSSL_free(der);
  PKCS7_SIGNER_INFO_free(counter);
  PKCS7_add_attribute(signer, NID_pkcs9_countersignature, V_ASN1_SEQUENCE, value);
  PKCS7_add_certificate(message, tsa.certificate.get());
}

// The image with its signature changed, the entry rewritten as signing tools write it.
Bytes with_signature(const Bytes& image, void (*change)(PKCS7* message, PKCS7_SIGNER_INFO* signer)) {
  CertificateTable table = locate_certificate_table(image);
  const unsigned char* cursor = image.data() + table.offset + 8;
  OpenSslPtr<PKCS7> message(d2i_PKCS7(nullptr, &cursor, table.first_entry_length - 8));
  change(message.get(), sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(message.get()), 0));
  unsigned char* der = nullptr;
  int length = i2d_PKCS7(message.get(), &der);
  Bytes out(image.begin(), image.begin() + table.offset);
  append_u32le(out, (8 + length + 7) & ~7);
  out.insert(out.end(), {0x00, 0x02, 0x02, 0x00});  // revision 2, PKCS signed data
  out.insert(out.end(), der, der + length);
  OPENSSL_free(der);
  out.resize(table.offset + ((8 + length + 7) & ~7), 0);
  put_u32le(out, table.directory_field + 4, static_cast<uint32_t>(out.size() - table.offset));
  update_pe_checksum(out);
  return out;
}

// What osslsigncode computed for the primary signature ("Calculated message digest : HEX").
std::string osslsigncode_digest(const std::string& output) {
  const std::string label = "Calculated message digest : ";
  size_t at = output.find(label);
  std::string digest = at == std::string::npos ? "" : output.substr(at + label.size(), output.find(' ', at + label.size()) - at - label.size());
  for (char& c : digest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return digest;
}

class Authenticode : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_dir = msiboot_test::scratch_dir("msiboot-authenticode");
    ASSERT_EQ(msiboot_test::run_process({std::string(MSIBOOT_SOURCE_DIR) + "/scripts/sample-msi", "--out", work("sample")})
                  .exit_code, 0);
    // A cabinet beyond the largest certificate the check parses (its carrier is left out), holding
    // the package's files and a large one.
    msiboot_test::write_file_bytes(work("sample/files/large.bin"), incompressible_bytes(kLargestParsedCertificate + 4096, 1));
    ASSERT_EQ(msiboot_test::run_process({"sh", "-c", "cd " + work("sample/files") +
                                                         " && gcab -c -n ../sample.cab readme.txt data.bin large.bin"})
                  .exit_code, 0);
    msiboot_test::write_file_bytes(work("signed-stub.exe"), msiboot_test::sign_with_test_signer(read_file_bytes(MSIBOOT_STUB)));
  }
  static void TearDownTestSuite() { fs::remove_all(work_dir); }
};

TEST_F(Authenticode, AgreesWithOsslsigncodeOnEverySigningOrder) {
  const Bytes unsigned_setup = packed(MSIBOOT_STUB, Placement::Append, "appended.exe");
  const Bytes certificate = packed(work("signed-stub.exe"), Placement::Certificate, "certificate.exe");
  Bytes code_changed = certificate, table_past_end = certificate;
  code_changed[0x410] ^= 1;  // in .text, which starts at 0x400
  put_u32le(table_past_end, locate_certificate_table(certificate).directory_field + 4,
            static_cast<uint32_t>(certificate.size()));
  struct Case {
    std::string name;
    Bytes image;
    size_t signatures;
    bool digest_matches;
    std::string line;  // one of the lines, or a piece of one
    bool signature_valid = true;
  };
  const std::vector<Case> cases = {
      {"unsigned", unsigned_setup, 0, true, "  authenticode: not signed"},
      {"certificate", certificate, 1, true,
       "  authenticode: signed, sha256, image digest matches, signature valid, chain trusted (CA file " + kTestCa + ")"},
      {"signature-tail", packed(work("signed-stub.exe"), Placement::SignatureTail, "tail.exe"), 1, true,
       "bytes follow the signature inside its certificate entry, outside the image digest"},
      {"signed after packing", msiboot_test::sign_with_test_signer(unsigned_setup), 1, true,
       "bytes appended to the image before it was signed"},
      {"code changed", code_changed, 1, false, "image digest does not match, signature valid"},
      {"nested", msiboot_test::sign_with_test_signer(certificate, {}, {"-nest", "-h", "sha1"}), 2, true,
       "  nested signature 1: sha1, image digest matches, signature valid"},
      {"timestamped", msiboot_test::sign_with_test_signer(read_file_bytes(MSIBOOT_STUB), {}, msiboot_test::test_timestamp_options()),
       1, true, "    timestamp 2023-11-14T22:15:00Z (RFC 3161, verified)"},
      {"countersigned", with_signature(certificate, add_countersignature), 1, true,
       "    timestamp 2023-11-14T22:15:00Z (PKCS #9 countersignature, verified)"},
      {"signature changed", with_signature(certificate, [](PKCS7*, PKCS7_SIGNER_INFO* s) { s->enc_digest->data[9] ^= 1; }),
       1, true, "image digest matches, signature invalid (the signature over the signed attributes does not verify)",
       false},
      {"table past the end", table_past_end, 0, false,
       "  authenticode: the certificate table cannot be read: the certificate table runs past the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AuthenticodeReport report = check_authenticode(c.image.data(), c.image.size(), kTestCa);
    const ReportJson json = authenticode_json(report);
    const std::string text = authenticode_text(report);
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    ASSERT_EQ(report.signatures.size(), c.signatures) << text;
    for (const SignatureCheck& check : report.signatures) {
      EXPECT_EQ(check.digest_matches, c.digest_matches);
      EXPECT_EQ(check.signature_valid, c.signature_valid) << check.signature_problem;
      EXPECT_TRUE(check.chain_trusted) << check.chain_problem;
    }
    EXPECT_EQ(json["needs_publisher"], !c.digest_matches || !c.signature_valid);
    EXPECT_EQ(json["chain_untrusted"], false);
    std::string output;
    EXPECT_EQ(msiboot_test::verifies_with_test_ca(c.image, &output),
              report.state == SignatureState::Signed && c.digest_matches && c.signature_valid) << output;
    if (c.signatures > 0) {
      EXPECT_EQ(report.signatures[0].image_digest, osslsigncode_digest(output));
    }
  }
}

// A signature that nests one signature a thousand times is checked up to a small number of them:
// each would hash the whole image again.
TEST_F(Authenticode, NestedSignaturesAreCheckedUpToASmallNumber) {
  const Bytes nested = msiboot_test::sign_with_test_signer(read_file_bytes(work("signed-stub.exe")), {}, {"-nest"});
  const Bytes thousand = with_signature(nested, [](PKCS7*, PKCS7_SIGNER_INFO* s) {
    OpenSslPtr<ASN1_OBJECT> oid(OBJ_txt2obj("1.3.6.1.4.1.311.2.4.1", 1));
    X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(s->unauth_attr, X509at_get_attr_by_OBJ(s->unauth_attr, oid.get(), -1));
    ASN1_STRING* value = X509_ATTRIBUTE_get0_type(attribute, 0)->value.sequence;
    for (int i = 1; i < 1000; ++i) X509_ATTRIBUTE_set1_data(attribute, V_ASN1_SEQUENCE, value, -1);
  });
  const AuthenticodeReport report = check_authenticode(thousand.data(), thousand.size(), kTestCa);
  ASSERT_EQ(report.signatures.size(), 10u);
  for (size_t i = 0; i < 9; ++i) EXPECT_TRUE(report.signatures[i].digest_matches) << i;
  EXPECT_EQ(report.signatures.back().digest_problem, "more than 8 nested signatures: the rest are not checked");
  EXPECT_TRUE(authenticode_needs_publisher(report));
}

// The system's store does not hold the test CA: the chain is reported, apart from the digest and
// signature; a CA file that cannot be read is an error naming it.
TEST_F(Authenticode, ChainIsCheckedAgainstTheGivenTrust) {
  const Bytes image = read_file_bytes(work("signed-stub.exe"));
  const AuthenticodeReport report = check_authenticode(image.data(), image.size(), "");
  EXPECT_FALSE(authenticode_needs_publisher(report));
  EXPECT_TRUE(authenticode_chain_untrusted(report));
  EXPECT_NE(authenticode_text(report).find(", signature valid, chain not trusted (system store: "), std::string::npos);
  EXPECT_THROW(check_authenticode(image.data(), image.size(), work("missing.pem")), std::runtime_error);
}

}  // namespace
