#pragma once
// Test-only Authenticode fixtures: the test CA and code-signing signer under tests/keys (public
// keys, never to be trusted outside tests), a minimal PE32+ image, and signing and verifying with
// osslsigncode.
#include <cstdint>
#include <string>
#include <vector>

#include "carrier_certificate.h"
#include "file_bytes.h"
#include "test_keys.h"

namespace msiboot_test {

// The test CA, which also issues the test carrier certificates.
msiboot_tool::CertificateIssuer load_test_ca();

// A 1 KiB PE32+ image with one section: enough for osslsigncode to sign.
std::vector<uint8_t> minimal_pe32plus_image();

// Signs with the test signer at a fixed signing time (the same image gives the same bytes), adding
// the test CA and the given extra PEM certificate files to the certificate set.
// Throws std::runtime_error when osslsigncode fails.
std::vector<uint8_t> sign_with_test_signer(const std::vector<uint8_t>& image,
                                           const std::vector<std::string>& extra_certificate_files = {});

// True when osslsigncode verifies the image's signature against the test CA.
bool verifies_with_test_ca(const std::vector<uint8_t>& image);

// Writes a DER certificate as PEM, the form osslsigncode takes for extra certificates.
void write_certificate_pem(const std::string& path, const std::vector<uint8_t>& der);

}  // namespace msiboot_test
