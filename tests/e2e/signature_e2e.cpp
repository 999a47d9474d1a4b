// The stub signed with osslsigncode, its payload travelling inside the signature: in a carrier
// certificate of the certificate set, or after the signature data inside the certificate-table
// entry. Every container here names no x64 package, so a container that was found ends with code
// 13 and string 101, one never found with 1168.
#include <gtest/gtest.h>

#include "authenticode/carrier_certificate.h"
#include "payload/signature_table.h"
#include "pe/certificate_table.h"
#include "test_bytes.h"
#include "test_files.h"
#include "test_signing.h"
#include "wine_harness.h"

namespace {

using namespace msiboot_tool;
using namespace msiboot_test;

constexpr int kFoundNothingFits = 13;

class SignatureE2e : public ::testing::Test {
 protected:
  Bytes carrier(const Bytes& container, bool critical = false) const {
    return make_carrier_certificate({{PayloadExtensionOid, critical, container}}, ca_);
  }

  // Writes the image next to the stub copies and runs it under the robot.
  static RobotRun run(const std::string& name, const Bytes& image) {
    std::string path = e2e_work_dir() + "/" + name;
    write_file_bytes(path, image);
    return run_under_robot(path, {});
  }

  CertificateIssuer ca_ = load_test_ca();
  Bytes signed_stub_ = sign_with_test_signer(read_file_bytes(make_stub_copy("unsigned.exe")));
};

TEST_F(SignatureE2e, CarrierCertificateIsFoundAndKeepsTheSignatureValid) {
  Bytes image = add_signature_certificates(signed_stub_, {carrier(x86_only_container())});
  EXPECT_TRUE(verifies_with_test_ca(image));
  expect_failure_box(run("carrier.exe", image), kFoundNothingFits);
}

TEST_F(SignatureE2e, CarrierAddedByTheSignerIsFound) {
  std::string certificate = e2e_work_dir() + "/carrier.pem";
  write_certificate_pem(certificate, carrier(x86_only_container()));
  Bytes image = sign_with_test_signer(read_file_bytes(make_stub_copy("unsigned.exe")), {certificate});
  EXPECT_TRUE(verifies_with_test_ca(image));
  expect_failure_box(run("carrier-ac.exe", image), kFoundNothingFits);
}

// The entry's trailing container would fail verification if the fallback looked at it.
TEST_F(SignatureE2e, CarrierWinsOverTheContainerAfterTheSignature) {
  const Bytes tampered = x86_only_container(RecordFault::TamperedContent);
  Bytes image = add_signature_certificates(signed_stub_, {carrier(x86_only_container())});
  expect_failure_box(run("carrier-and-trailing.exe", append_in_certificate_entry(image, tampered)),
                     kFoundNothingFits);
  expect_failure_box(run("tampered-trailing.exe", append_in_certificate_entry(signed_stub_, tampered)),
                     1392);
}

TEST_F(SignatureE2e, ContainerAfterTheSignatureIsFoundByTheFallback) {
  Bytes image = append_in_certificate_entry(signed_stub_, x86_only_container());
  EXPECT_TRUE(verifies_with_test_ca(image));
  expect_failure_box(run("trailing.exe", image), kFoundNothingFits);
}

TEST_F(SignatureE2e, CriticalCarrierIsIgnored) {
  Bytes image = add_signature_certificates(signed_stub_, {carrier(x86_only_container(), true)});
  expect_failure_box(run("critical.exe", image), 1168);
}

}  // namespace
