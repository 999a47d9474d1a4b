#include "platform/content_hash.h"

#include <openssl/evp.h>

bool content_hash_begin(ContentHash* hash) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(context);
    context = nullptr;
  }
  hash->state = context;
  return context != nullptr;
}

bool content_hash_add(ContentHash* hash, const uint8_t* bytes, uint32_t length) {
  auto* context = static_cast<EVP_MD_CTX*>(hash->state);
  return context != nullptr && EVP_DigestUpdate(context, bytes, length) == 1;
}

bool content_hash_end(ContentHash* hash, uint8_t* digest) {
  auto* context = static_cast<EVP_MD_CTX*>(hash->state);
  bool done = context != nullptr && EVP_DigestFinal_ex(context, digest, nullptr) == 1;
  EVP_MD_CTX_free(context);
  hash->state = nullptr;
  return done;
}
