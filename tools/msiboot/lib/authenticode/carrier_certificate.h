#pragma once
// Carrier certificates: X.509 certificates whose private extension holds a whole payload container,
// so that the container can travel inside a signature's certificate set, and their addition to a
// signed image's signature.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "container/openssl_ptr.h"

namespace msiboot_tool {

// The certificate and private key that sign carrier certificates.
struct CertificateIssuer {
  OpenSslPtr<X509> certificate;
  OpenSslPtr<EVP_PKEY> key;
};

// An issuer for carrier certificates that is the payload key itself: the certificates it makes are
// self-issued. The stub reads only their extensions, and an Authenticode check ignores
// certificates outside the signer's chain, so no certificate authority is needed.
CertificateIssuer self_issuer(EVP_PKEY* key);

struct ExtensionEntry {
  std::string identifier;  // dotted object identifier
  bool critical;
  std::vector<uint8_t> value;  // content octets of extnValue
};

// The extension that carries one container: the payload identifier, not critical.
ExtensionEntry carrier_extension(const std::vector<uint8_t>& container);

// A DER certificate holding the given extensions in order, issued and signed (SHA-256) by the
// issuer for the issuer's own public key. Serial number and validity depend only on the inputs, so
// the same inputs give the same bytes.
std::vector<uint8_t> make_carrier_certificate(const std::vector<ExtensionEntry>& extensions,
                                              const CertificateIssuer& issuer);

// The usual case: one certificate carrying one container.
std::vector<uint8_t> make_carrier_certificate(const std::vector<uint8_t>& container,
                                              const CertificateIssuer& issuer);

// Adds DER certificates to the certificate set of the first entry's PKCS#7 signature, after the
// ones already there, and rewrites the entry (padded to 8 bytes), the directory size and the
// checksum. Throws when the entry holds anything but the message and zero padding.
std::vector<uint8_t> add_signature_certificates(const std::vector<uint8_t>& signed_image,
                                                const std::vector<std::vector<uint8_t>>& certificates);

}  // namespace msiboot_tool
