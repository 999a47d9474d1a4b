#pragma once
// Checks a record's RSA signature against a public key held as a 276-byte PUBLICKEYBLOB. Windows
// uses CryptoAPI, Linux OpenSSL's libcrypto; both accept and refuse the same inputs.
#include <cstdint>

#include "platform/error_codes.h"

enum : uint32_t {
  kSignatureValid = 0,
  kSignatureKeyNotDecoded = kErrorBadKey,
  kSignatureMismatch = kErrorFileCorrupt,
};

constexpr uint32_t kSha256Size = 32;

// The signature must be an RSA PKCS#1 v1.5 signature with SHA-256 over the length content bytes,
// stored most significant byte first and exactly as long as the 2048-bit modulus (256 bytes).
// Returns kSignatureValid, kSignatureKeyNotDecoded or kSignatureMismatch.
uint32_t verify_record_signature(const uint8_t* key_blob, uint32_t key_size,
                                 const uint8_t* content, uint32_t length,
                                 const uint8_t* signature, uint32_t signature_length);

// The SHA-256 of the length content bytes into digest (kSha256Size bytes); false when the
// platform cannot hash.
bool content_sha256(const uint8_t* content, uint32_t length, uint8_t* digest);

// verify_record_signature for content whose SHA-256 is digest: a record's content is hashed once
// for its signature and its manifest entry.
uint32_t verify_digest_signature(const uint8_t* key_blob, uint32_t key_size, const uint8_t* digest,
                                 const uint8_t* signature, uint32_t signature_length);
