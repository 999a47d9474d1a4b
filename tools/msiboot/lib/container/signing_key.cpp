#include "container/signing_key.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "container/key_passphrase.h"
#include "files/tool_error.h"
#include "payload/payload_public_key.h"

namespace msiboot_tool {
namespace {

constexpr int kKeyBits = 2048;

bool is_payload_key(EVP_PKEY* key) {
  return key != nullptr && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA &&
         EVP_PKEY_get_bits(key) == kKeyBits;
}

// OpenSSL asks for a passphrase through this instead of prompting on a terminal.
struct PassphraseRequest {
  const std::string* passphrase;  // null: none was given
  bool asked = false;
};

int give_passphrase(char* buffer, int size, int, void* context) {
  auto* request = static_cast<PassphraseRequest*>(context);
  request->asked = true;
  if (request->passphrase == nullptr || request->passphrase->size() > static_cast<size_t>(size)) return -1;
  std::memcpy(buffer, request->passphrase->data(), request->passphrase->size());
  return static_cast<int>(request->passphrase->size());
}

// Reads a PEM private key, an encrypted one with the passphrase (never from a terminal).
SigningKey read_signing_key(const std::string& pem_path, const std::string* passphrase) {
  OpenSslPtr<BIO> bio(BIO_new_file(pem_path.c_str(), "r"));
  if (!bio) throw ToolError(pem_path, std::string("cannot read it (") + std::strerror(errno) + ")");
  PassphraseRequest request{passphrase};
  SigningKey key{OpenSslPtr<EVP_PKEY>(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, give_passphrase, &request))};
  if (!key.pkey && request.asked && passphrase == nullptr) {
    throw ToolError(pem_path, "is encrypted: give its passphrase with --key-pass");
  }
  if (!key.pkey && request.asked) throw ToolError(pem_path, "wrong passphrase (--key-pass)");
  if (!is_payload_key(key.pkey.get())) throw ToolError(pem_path, "not an RSA-2048 private key (PEM)");
  return key;
}

}  // namespace

bool load_signing_key(const std::string& pem_path, SigningKey* key) {
  OpenSslPtr<BIO> bio(BIO_new_file(pem_path.c_str(), "r"));
  if (!bio) return false;
  PassphraseRequest request{nullptr};
  SigningKey loaded{OpenSslPtr<EVP_PKEY>(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, give_passphrase, &request))};
  if (!is_payload_key(loaded.pkey.get())) return false;
  *key = std::move(loaded);
  return true;
}

SigningKey read_payload_key(const std::string& pem_path, const std::optional<std::string>& pass_source) {
  if (!pass_source) return read_signing_key(pem_path, nullptr);
  std::string passphrase = read_passphrase(*pass_source);
  return read_signing_key(pem_path, &passphrase);
}

bool generate_signing_key(SigningKey* key) {
  EVP_PKEY* generated = EVP_RSA_gen(kKeyBits);
  if (generated == nullptr) return false;
  key->pkey.reset(generated);
  return true;
}

std::vector<uint8_t> private_key_pem(const SigningKey& key) {
  OpenSslPtr<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.pkey.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    throw ToolError("the private key could not be written as PEM");
  }
  char* data = nullptr;
  long length = BIO_get_mem_data(bio.get(), &data);
  return std::vector<uint8_t>(data, data + length);
}

std::vector<uint8_t> sign_content(const SigningKey& key, const std::vector<uint8_t>& bytes) {
  OpenSslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  std::vector<uint8_t> signature(static_cast<size_t>(EVP_PKEY_get_size(key.pkey.get())));
  size_t length = signature.size();
  bool ok = ctx && EVP_DigestSignInit(ctx.get(), &pctx, EVP_sha256(), nullptr, key.pkey.get()) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PADDING) == 1 &&
            EVP_DigestSign(ctx.get(), signature.data(), &length, bytes.data(), bytes.size()) == 1;
  if (!ok) throw ToolError("signing a payload record failed");
  signature.resize(length);
  return signature;
}

std::vector<uint8_t> sign_digest(const SigningKey& key, const uint8_t* digest) {
  OpenSslPtr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(key.pkey.get(), nullptr));
  std::vector<uint8_t> signature(static_cast<size_t>(EVP_PKEY_get_size(key.pkey.get())));
  size_t length = signature.size();
  bool ok = ctx && EVP_PKEY_sign_init(ctx.get()) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) == 1 &&
            EVP_PKEY_sign(ctx.get(), signature.data(), &length, digest, 32) == 1;
  if (!ok) throw ToolError("signing a payload record failed");
  signature.resize(length);
  return signature;
}

uint64_t write_container(const std::vector<ContainerRecord>& records, const SigningKey& key,
                         const ContainerSink& sink, const PackSettings& settings) {
  return stream_container(
      records, [&key](const uint8_t* digest) { return sign_digest(key, digest); }, sink, settings);
}

ContainerParts write_container_parts(const std::vector<ContainerRecord>& records,
                                     const SigningKey& key, const PackProgress& progress) {
  return container_parts(
      records, [&key](const std::vector<uint8_t>& bytes) { return sign_content(key, bytes); },
      progress);
}

std::vector<uint8_t> public_key_blob(const SigningKey& key) {
  OpenSslPtr<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || i2b_PublicKey_bio(bio.get(), key.pkey.get()) <= 0) {
    throw ToolError("the public key blob could not be written");
  }
  char* data = nullptr;
  long length = BIO_get_mem_data(bio.get(), &data);
  std::vector<uint8_t> blob(data, data + length);
  if (blob.size() != kPayloadPublicKeySize) throw ToolError("public key blob is not 276 bytes");
  return blob;
}

}  // namespace msiboot_tool
