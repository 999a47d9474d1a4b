#pragma once
// Test-only Authenticode fixtures: the test CA and code-signing signer under tests/keys (public
// keys, never to be trusted outside tests), a minimal PE32+ image, and signing and verifying with
// osslsigncode.
#include <cstdint>
#include <string>
#include <vector>

#include "authenticode/carrier_certificate.h"
#include "files/file_bytes.h"
#include "test_keys.h"

namespace msiboot_test {

// The test CA, which also issues the test carrier certificates; or another pair of tests/keys, such
// as the test timestamping authority's ("test-tsa").
msiboot_tool::CertificateIssuer load_test_ca(const std::string& name = "test-ca");

// A 1 KiB PE32+ image with one section: enough for osslsigncode to sign.
std::vector<uint8_t> minimal_pe32plus_image();

// Signs with the test signer at a fixed signing time (the same image gives the same bytes), adding
// the test CA and the given extra PEM certificate files to the certificate set; options go to
// osslsigncode as they are ("-nest", "-h sha1", test_timestamp_options()).
// Throws std::runtime_error when osslsigncode fails.
std::vector<uint8_t> sign_with_test_signer(const std::vector<uint8_t>& image,
                                           const std::vector<std::string>& extra_certificate_files = {},
                                           const std::vector<std::string>& options = {});

// osslsigncode's options for a timestamp from its built-in authority with the test timestamping
// certificate, at 2023-11-14T22:15:00Z.
std::vector<std::string> test_timestamp_options();

// True when osslsigncode verifies the image's signature (and timestamp) against the test CA;
// output, when given, receives what it printed.
bool verifies_with_test_ca(const std::vector<uint8_t>& image, std::string* output = nullptr);

// Writes a DER certificate as PEM, the form osslsigncode takes for extra certificates.
void write_certificate_pem(const std::string& path, const std::vector<uint8_t>& der);

}  // namespace msiboot_test
