#include "container_writer.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace msiboot_tool {
namespace {

constexpr int kKeyBits = 2048;
constexpr size_t kPublicKeyBlobSize = 276;

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

bool is_payload_key(EVP_PKEY* key) {
  return key != nullptr && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA &&
         EVP_PKEY_get_bits(key) == kKeyBits;
}

}  // namespace

bool load_signing_key(const std::string& pem_path, SigningKey* key) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_file(pem_path.c_str(), "r"));
  if (!bio) return false;
  SigningKey loaded{std::unique_ptr<EVP_PKEY, SigningKey::Free>(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr))};
  if (!is_payload_key(loaded.pkey.get())) return false;
  *key = std::move(loaded);
  return true;
}

SigningKey read_signing_key(const std::string& pem_path) {
  SigningKey key;
  if (access(pem_path.c_str(), R_OK) != 0) {
    throw std::runtime_error(pem_path + ": cannot read it (" + std::strerror(errno) + ")");
  }
  if (!load_signing_key(pem_path, &key)) {
    throw std::runtime_error(pem_path + ": not an RSA-2048 private key (PEM)");
  }
  return key;
}

bool generate_signing_key(SigningKey* key) {
  EVP_PKEY* generated = EVP_RSA_gen(kKeyBits);
  if (generated == nullptr) return false;
  key->pkey.reset(generated);
  return true;
}

bool save_signing_key(const SigningKey& key, const std::string& pem_path) {
  // A private key is never written over an existing file, nor readable by others.
  int fd = ::open(pem_path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  std::unique_ptr<BIO, BioFree> bio(BIO_new_fd(fd, BIO_CLOSE));
  if (!bio) {
    ::close(fd);
    return false;
  }
  return PEM_write_bio_PrivateKey(bio.get(), key.pkey.get(), nullptr, nullptr, 0, nullptr,
                                  nullptr) == 1 &&
         BIO_flush(bio.get()) == 1;
}

std::vector<uint8_t> sign_content(const SigningKey& key, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  std::vector<uint8_t> signature(static_cast<size_t>(EVP_PKEY_get_size(key.pkey.get())));
  size_t length = signature.size();
  bool ok = ctx && EVP_DigestSignInit(ctx.get(), &pctx, EVP_sha256(), nullptr, key.pkey.get()) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PADDING) == 1 &&
            EVP_DigestSign(ctx.get(), signature.data(), &length, bytes.data(), bytes.size()) == 1;
  if (!ok) throw std::runtime_error("signing a payload record failed");
  signature.resize(length);
  return signature;
}

ContainerParts write_container_parts(const std::vector<ContainerRecord>& records,
                                     const SigningKey& key, const PackProgress& progress) {
  return container_parts(
      records, [&key](const std::vector<uint8_t>& bytes) { return sign_content(key, bytes); },
      progress);
}

std::vector<uint8_t> write_container(const std::vector<ContainerRecord>& records,
                                     const SigningKey& key, const PackProgress& progress) {
  return join_parts(write_container_parts(records, key, progress));
}

std::vector<uint8_t> public_key_blob(const SigningKey& key) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio || i2b_PublicKey_bio(bio.get(), key.pkey.get()) <= 0) {
    throw std::runtime_error("the public key blob could not be written");
  }
  char* data = nullptr;
  long length = BIO_get_mem_data(bio.get(), &data);
  std::vector<uint8_t> blob(data, data + length);
  if (blob.size() != kPublicKeyBlobSize) throw std::runtime_error("public key blob is not 276 bytes");
  return blob;
}

}  // namespace msiboot_tool
