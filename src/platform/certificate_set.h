#pragma once
// The certificate set of a PKCS#7 message and the extensions of its certificates: CryptoAPI's
// message and certificate functions on Windows, OpenSSL on Linux. Every failing call returns false
// with the platform's last error set (0 when the platform gave no code).
#include <cstdint>

struct CertificateSet;
struct ParsedCertificate;

struct CertificateExtension {
  const char* identifier;  // dotted object identifier; null when it cannot be given in full
  bool critical;
  const uint8_t* value;    // content octets of extnValue, owned by the parsed certificate
  uint32_t length;
};

// A decoding message handle, not yet holding a message.
bool certificate_set_open(CertificateSet** set);

// Hands the whole DER message to the handle in one final update. Bytes after the end of the
// message are accepted and ignored. The bytes must outlive the handle.
bool certificate_set_update(CertificateSet* set, const uint8_t* bytes, uint32_t length);

bool certificate_set_count(CertificateSet* set, uint32_t* count);

// The DER encoding of certificate index: first its size, then the bytes into a block of that size.
bool certificate_set_encoded_size(CertificateSet* set, uint32_t index, uint32_t* size);
bool certificate_set_encoded(CertificateSet* set, uint32_t index, uint8_t* block, uint32_t size);

// Null is allowed.
void certificate_set_close(CertificateSet* set);

// Parses one DER certificate; the encoding may be freed once this returns.
bool certificate_parse(const uint8_t* encoded, uint32_t size, ParsedCertificate** certificate);

uint32_t certificate_extension_count(const ParsedCertificate* certificate);

// Extension index (below the count); the texts and the value stay valid until the next call for
// this certificate or until it is freed.
void certificate_extension(ParsedCertificate* certificate, uint32_t index,
                           CertificateExtension* extension);

// Null is allowed.
void certificate_free(ParsedCertificate* certificate);
