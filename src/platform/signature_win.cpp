#include <windows.h>
// windows.h first: wincrypt.h depends on it.
#include <wincrypt.h>

#include "platform/signature.h"

namespace {

constexpr uint32_t kSignatureSize = 256;  // the 2048-bit modulus

bool is_public_key_blob(const uint8_t* key_blob, uint32_t key_size) {
  return key_blob != nullptr && key_size >= sizeof(BLOBHEADER) && key_blob[0] == PUBLICKEYBLOB;
}

bool acquire_provider(HCRYPTPROV* provider) {
  return CryptAcquireContextA(provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT);
}

// Checks the signature over the digest, which CryptoAPI reads least significant byte first: it
// is reversed into a local copy.
bool signature_matches(HCRYPTPROV provider, HCRYPTKEY key, const uint8_t* digest,
                       const uint8_t* signature) {
  BYTE reversed[kSignatureSize];
  for (uint32_t i = 0; i < kSignatureSize; ++i) reversed[i] = signature[kSignatureSize - 1 - i];
  HCRYPTHASH hash = 0;
  bool valid = CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
               CryptSetHashParam(hash, HP_HASHVAL, digest, 0) &&
               CryptVerifySignatureA(hash, reversed, kSignatureSize, key, nullptr, 0);
  if (hash != 0) CryptDestroyHash(hash);
  return valid;
}

}  // namespace

bool content_sha256(const uint8_t* content, uint32_t length, uint8_t* digest) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  DWORD size = kSha256Size;
  bool hashed = acquire_provider(&provider) &&
                CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
                CryptHashData(hash, content, length, 0) &&
                CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == kSha256Size;
  if (hash != 0) CryptDestroyHash(hash);
  if (provider != 0) CryptReleaseContext(provider, 0);
  return hashed;
}

uint32_t verify_digest_signature(const uint8_t* key_blob, uint32_t key_size, const uint8_t* digest,
                                 const uint8_t* signature, uint32_t signature_length) {
  HCRYPTPROV provider = 0;
  HCRYPTKEY key = 0;
  uint32_t result = kSignatureKeyNotDecoded;
  if (is_public_key_blob(key_blob, key_size) && acquire_provider(&provider) &&
      CryptImportKey(provider, key_blob, key_size, 0, 0, &key)) {
    bool valid = signature_length == kSignatureSize &&
                 signature_matches(provider, key, digest, signature);
    result = valid ? kSignatureValid : kSignatureMismatch;
  }
  if (key != 0) CryptDestroyKey(key);
  if (provider != 0) CryptReleaseContext(provider, 0);
  return result;
}

uint32_t verify_record_signature(const uint8_t* key_blob, uint32_t key_size,
                                 const uint8_t* content, uint32_t length,
                                 const uint8_t* signature, uint32_t signature_length) {
  uint8_t digest[kSha256Size];
  if (!content_sha256(content, length, digest)) return kSignatureMismatch;
  return verify_digest_signature(key_blob, key_size, digest, signature, signature_length);
}
