#include <windows.h>
// windows.h first: wincrypt.h depends on it.
#include <wincrypt.h>

#include "platform/signature.h"

namespace {

constexpr uint32_t kSignatureSize = 256;  // the 2048-bit modulus

bool is_public_key_blob(const uint8_t* key_blob, uint32_t key_size) {
  return key_blob != nullptr && key_size >= sizeof(BLOBHEADER) && key_blob[0] == PUBLICKEYBLOB;
}

// Hashes the content and checks the signature, which CryptoAPI reads least significant byte
// first: it is reversed into a local copy.
bool signature_matches(HCRYPTPROV provider, HCRYPTKEY key, const uint8_t* content,
                       uint32_t length, const uint8_t* signature) {
  BYTE reversed[kSignatureSize];
  for (uint32_t i = 0; i < kSignatureSize; ++i) reversed[i] = signature[kSignatureSize - 1 - i];
  HCRYPTHASH hash = 0;
  bool valid = CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
               CryptHashData(hash, content, length, 0) &&
               CryptVerifySignatureA(hash, reversed, kSignatureSize, key, nullptr, 0);
  if (hash != 0) CryptDestroyHash(hash);
  return valid;
}

}  // namespace

uint32_t verify_record_signature(const uint8_t* key_blob, uint32_t key_size,
                                 const uint8_t* content, uint32_t length,
                                 const uint8_t* signature, uint32_t signature_length) {
  HCRYPTPROV provider = 0;
  HCRYPTKEY key = 0;
  uint32_t result = kSignatureKeyNotDecoded;
  if (is_public_key_blob(key_blob, key_size) &&
      CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
      CryptImportKey(provider, key_blob, key_size, 0, 0, &key)) {
    bool valid = signature_length == kSignatureSize &&
                 signature_matches(provider, key, content, length, signature);
    result = valid ? kSignatureValid : kSignatureMismatch;
  }
  if (key != 0) CryptDestroyKey(key);
  if (provider != 0) CryptReleaseContext(provider, 0);
  return result;
}
