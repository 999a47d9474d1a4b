#pragma once
// The Authenticode signature of a setup.exe held in memory, checked with OpenSSL: the image digest
// its signed data names against the one computed here, the PKCS#7 signature over the signed
// attributes, the signer and its chain, a timestamp countersignature, and the nested signatures.
// The file may be large: it is read in place, never copied.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "authenticode/signed_image.h"

namespace msiboot_tool {

struct Timestamp {
  std::string time;  // ISO 8601, UTC
  bool rfc3161 = false;  // a timestamp token; else a PKCS #9 countersignature
  bool verified = false;  // its signature over this signature, and its chain
  std::string problem;    // why it does not verify
};

struct SignatureCheck {
  std::string digest_algorithm;  // the one the signed data names ("sha256")
  std::string signed_digest, image_digest;  // hex; the second computed here
  bool digest_matches = false;
  std::string digest_problem;  // why no digest could be compared
  bool signature_valid = false;
  std::string signature_problem;
  std::string signer_subject, signer_issuer, not_before, not_after;  // names RFC 2253, times ISO 8601 UTC
  std::optional<Timestamp> timestamp;
  bool chain_trusted = false;
  std::string chain_problem;
};

struct AuthenticodeReport {
  SignatureState state = SignatureState::Unsigned;
  std::string problem;  // why the certificate table or its signature cannot be read
  std::string ca_file;  // what the chains were checked against; empty: the system's store
  uint64_t appended_before_table = 0, after_table = 0;  // as SignedImage
  uint32_t after_signature = 0;  // bytes after the PKCS#7 message inside its entry, beyond its padding
  std::vector<SignatureCheck> signatures;  // the primary signature, then the nested ones
};

// Checks the signature of the size bytes at image; chains against the PEM certificates of ca_file,
// or the system's store when it is empty. Throws ToolError naming ca_file when it cannot be
// read; what the image holds is reported, never thrown.
AuthenticodeReport check_authenticode(const uint8_t* image, size_t size, const std::string& ca_file);

// A digest that does not match, a signature that does not verify or a table that cannot be read:
// the file is not what its publisher signed.
bool authenticode_needs_publisher(const AuthenticodeReport& report);

// A signature whose chain does not lead to a trusted root (or whose signer may not sign code), or a
// timestamp that does not verify: a question of trust, which the file alone does not settle.
bool authenticode_chain_untrusted(const AuthenticodeReport& report);

}  // namespace msiboot_tool
