// The stub signed with osslsigncode, its payload travelling inside the signature: in a carrier
// certificate of the certificate set, or after the signature data inside the certificate-table
// entry. Every container here holds a manifest with no x64 package, so a container that was found
// ends with code 13 and string 101, one never found with 1168.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carrier_certificate.h"
#include "container_writer.h"
#include "manifest_writer.h"
#include "payload/signature_table.h"
#include "pe_certificate_table.h"
#include "test_signing.h"
#include "wine_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace msiboot_tool;

constexpr int kFoundNothingFits = 13;
constexpr int kNoPayload = 1168;
constexpr int kManifestNotVerified = 1392;

class SignatureE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(load_signing_key(test_key_path(), &payload_key_));
    signed_stub_ = sign_with_test_signer(read_file_bytes(make_stub_copy("unsigned.exe")));
  }

  Bytes container(RecordFault manifest_fault = RecordFault::None) const {
    ManifestWriter manifest;
    manifest.package(1000, "x86", "1033", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", "Example");
    return write_container({{true, 0, manifest.bytes(), manifest_fault},
                            {false, 1000, Bytes(64, 0x11), RecordFault::None}},
                           payload_key_);
  }

  Bytes carrier(const std::vector<ExtensionEntry>& extensions) const {
    return make_carrier_certificate(extensions, ca_);
  }

  // Writes the image next to the stub copies and runs it under the robot.
  RobotRun run(const std::string& name, const Bytes& image) const {
    std::string path = e2e_work_dir() + "/" + name;
    write_file_bytes(path, image);
    return run_under_robot(path, {});
  }

  void expect_found(const RobotRun& run) const {
    ASSERT_FALSE(run.timed_out) << run.transcript;
    EXPECT_EQ(run.exit_code, kFoundNothingFits) << run.transcript;
    ASSERT_EQ(run.boxes.size(), 1u) << run.transcript;
    EXPECT_EQ(run.boxes[0].text, stub_resource_string(101));
  }

  SigningKey payload_key_;
  CertificateIssuer ca_ = load_test_ca();
  Bytes signed_stub_;
};

TEST_F(SignatureE2e, CarrierCertificateIsFoundAndKeepsTheSignatureValid) {
  Bytes image = add_signature_certificates(signed_stub_, {carrier({carrier_extension(container())})});
  EXPECT_TRUE(verifies_with_test_ca(image));
  expect_found(run("carrier.exe", image));
}

TEST_F(SignatureE2e, CarrierAddedByTheSignerIsFound) {
  std::string certificate = e2e_work_dir() + "/carrier.pem";
  write_certificate_pem(certificate, carrier({carrier_extension(container())}));
  Bytes image = sign_with_test_signer(read_file_bytes(make_stub_copy("unsigned.exe")), {certificate});
  EXPECT_TRUE(verifies_with_test_ca(image));
  expect_found(run("carrier-ac.exe", image));
}

// The entry's trailing container would fail verification if the fallback looked at it.
TEST_F(SignatureE2e, CarrierWinsOverTheContainerAfterTheSignature) {
  Bytes image = add_signature_certificates(signed_stub_, {carrier({carrier_extension(container())})});
  image = append_in_certificate_entry(image, container(RecordFault::TamperedContent));
  expect_found(run("carrier-and-trailing.exe", image));

  RobotRun trailing_only = run("tampered-trailing.exe",
                               append_in_certificate_entry(signed_stub_, container(RecordFault::TamperedContent)));
  EXPECT_EQ(trailing_only.exit_code, kManifestNotVerified) << trailing_only.transcript;
}

TEST_F(SignatureE2e, ContainerAfterTheSignatureIsFoundByTheFallback) {
  Bytes image = append_in_certificate_entry(signed_stub_, container());
  EXPECT_TRUE(verifies_with_test_ca(image));
  expect_found(run("trailing.exe", image));
}

TEST_F(SignatureE2e, CriticalCarrierIsIgnored) {
  Bytes image = add_signature_certificates(
      signed_stub_, {carrier({{PayloadExtensionOid, true, container()}})});
  RobotRun result = run("critical.exe", image);
  ASSERT_FALSE(result.timed_out) << result.transcript;
  EXPECT_EQ(result.exit_code, kNoPayload) << result.transcript;
}

}  // namespace
