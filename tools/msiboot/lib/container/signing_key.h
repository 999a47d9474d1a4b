#pragma once
// Writes payload containers as the bootstrapper reads them: records with zlib level 9 data,
// RSA-2048 PKCS#1 v1.5 SHA-256 signatures over the uncompressed content and 28-byte trailers, in
// the order given (the manifest record first). The same inputs give the same bytes.
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container/layout.h"
#include "container/openssl_ptr.h"
#include "container/record_packing.h"

namespace msiboot_tool {

// The private half of a payload key. Move-only.
struct SigningKey {
  OpenSslPtr<EVP_PKEY> pkey;
};

// Reads an unencrypted PEM private key, which must be a 2048-bit RSA key. False when it cannot be
// read or is of another kind.
bool load_signing_key(const std::string& pem_path, SigningKey* key);

// For the commands: reads a PEM private key, an encrypted one with the passphrase read from its
// source (key_passphrase.h; never from a terminal). Throws ToolError naming the file when it
// cannot be read, is encrypted and no passphrase is given, the passphrase is wrong, or it is not
// a 2048-bit RSA key.
SigningKey read_payload_key(const std::string& pem_path, const std::optional<std::string>& pass_source);

// A new 2048-bit RSA key (exponent 65537). False on failure.
bool generate_signing_key(SigningKey* key);

// The private key as unencrypted PKCS#8 PEM.
std::vector<uint8_t> private_key_pem(const SigningKey& key);

// The 256-byte signature of the bytes (SHA-256, PKCS#1 v1.5), most significant byte first.
std::vector<uint8_t> sign_content(const SigningKey& key, const std::vector<uint8_t>& bytes);

// The 256-byte signature of content whose SHA-256 is the 32 bytes at digest.
std::vector<uint8_t> sign_digest(const SigningKey& key, const uint8_t* digest);

// Streams the container of the records, each signed with key over its content, to sink; returns
// its size.
uint64_t write_container(const std::vector<ContainerRecord>& records, const SigningKey& key,
                         const ContainerSink& sink, const PackSettings& settings = {});

// The container of the records, each signed with key over its content, as its parts.
ContainerParts write_container_parts(const std::vector<ContainerRecord>& records,
                                     const SigningKey& key, const PackProgress& progress = {});

// The public half as the 276-byte PUBLICKEYBLOB the stub is built with.
std::vector<uint8_t> public_key_blob(const SigningKey& key);

}  // namespace msiboot_tool
