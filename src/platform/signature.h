#pragma once
// Checks a record's RSA signature against a public key held as a 276-byte PUBLICKEYBLOB. Windows
// uses CryptoAPI, Linux OpenSSL's libcrypto; both accept and refuse the same inputs.
#include <cstdint>

enum : uint32_t {
  kSignatureValid = 0,
  kSignatureKeyNotDecoded = 0x80090003,  // NTE_BAD_KEY
  kSignatureMismatch = 1392,             // ERROR_FILE_CORRUPT
};

// The signature must be an RSA PKCS#1 v1.5 signature with SHA-256 over the length content bytes,
// stored most significant byte first and exactly as long as the 2048-bit modulus (256 bytes).
// Returns kSignatureValid, kSignatureKeyNotDecoded or kSignatureMismatch.
uint32_t verify_record_signature(const uint8_t* key_blob, uint32_t key_size,
                                 const uint8_t* content, uint32_t length,
                                 const uint8_t* signature, uint32_t signature_length);
