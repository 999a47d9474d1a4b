// OpenSSL 3 marks the RSA-level calls deprecated; they are the ones this check is defined by.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include "platform/signature.h"

bool content_sha256(const uint8_t* content, uint32_t length, uint8_t* digest) {
  static const uint8_t kNothing = 0;
  SHA256(content != nullptr ? content : &kNothing, length, digest);
  return true;
}

uint32_t verify_digest_signature(const uint8_t* key_blob, uint32_t key_size, const uint8_t* digest,
                                 const uint8_t* signature, uint32_t signature_length) {
  const unsigned char* cursor = key_blob;
  EVP_PKEY* key = b2i_PublicKey(&cursor, static_cast<long>(key_size));
  RSA* rsa = key != nullptr ? EVP_PKEY_get1_RSA(key) : nullptr;
  uint32_t result = kSignatureKeyNotDecoded;
  if (rsa != nullptr) {
    bool valid = RSA_verify(NID_sha256, digest, kSha256Size, signature, signature_length, rsa) == 1;
    result = valid ? kSignatureValid : kSignatureMismatch;
  }
  RSA_free(rsa);
  EVP_PKEY_free(key);
  ERR_clear_error();  // a refused key or signature is an answer, not an error to leave queued
  return result;
}

uint32_t verify_record_signature(const uint8_t* key_blob, uint32_t key_size,
                                 const uint8_t* content, uint32_t length,
                                 const uint8_t* signature, uint32_t signature_length) {
  uint8_t digest[kSha256Size];
  content_sha256(content, length, digest);
  return verify_digest_signature(key_blob, key_size, digest, signature, signature_length);
}
