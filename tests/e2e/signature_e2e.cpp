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

// Found by the stub: the carrier certificate, also one the signer added; the carrier before a
// container after the signature, which would fail verification if the fallback looked at it; that
// container alone; a container after the signature. A critical carrier is ignored.
TEST(SignatureE2e, EachPlacementInTheSignatureKeepsItValidAndIsFoundOrPassedOver) {
  const CertificateIssuer ca = load_test_ca();
  auto carrier = [&ca](bool critical = false) {
    return make_carrier_certificate({{PayloadExtensionOid, critical, x86_only_container()}}, ca);
  };
  const Bytes unsigned_stub = read_file_bytes(make_stub_copy("unsigned.exe"));
  const Bytes signed_stub = sign_with_test_signer(unsigned_stub), tampered = x86_only_container(RecordFault::TamperedContent);
  const Bytes with_carrier = add_signature_certificates(signed_stub, {carrier()});
  const std::string certificate = e2e_work_dir() + "/carrier.pem";
  write_certificate_pem(certificate, carrier());
  struct Case {
    const char* name;
    Bytes image;
    int exit_code;  // 13: found, and no x64 package in it
  };
  const Case cases[] = {
      {"carrier.exe", with_carrier, 13},
      {"carrier-ac.exe", sign_with_test_signer(unsigned_stub, {certificate}), 13},
      {"carrier-and-trailing.exe", append_in_certificate_entry(with_carrier, tampered), 13},
      {"tampered-trailing.exe", append_in_certificate_entry(signed_stub, tampered), 1392},
      {"trailing.exe", append_in_certificate_entry(signed_stub, x86_only_container()), 13},
      {"critical.exe", add_signature_certificates(signed_stub, {carrier(true)}), 1168},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(verifies_with_test_ca(c.image));
    write_file_bytes(e2e_work_dir() + "/" + c.name, c.image);
    expect_failure_box(run_under_robot(e2e_work_dir() + "/" + c.name, {}), c.exit_code);
  }
}

}  // namespace
