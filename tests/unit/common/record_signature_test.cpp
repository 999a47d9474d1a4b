// The record signature check behind the platform seam: CryptoAPI in the windows build, OpenSSL in
// the host build. Both must give the same answer for every vector here.
#include "platform/signature.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/container_fixtures.h"
#include "container/layout.h"

namespace {


uint32_t verify(const Bytes& key, const Bytes& content, const Bytes& signature) {
  return verify_record_signature(key.data(), static_cast<uint32_t>(key.size()), content.data(),
                                 static_cast<uint32_t>(content.size()), signature.data(),
                                 static_cast<uint32_t>(signature.size()));
}

Bytes changed(Bytes bytes, size_t at, uint8_t mask) {
  bytes.at(at) ^= mask;
  return bytes;
}

TEST(RecordSignature, SignaturesAcceptedAndRefused) {
  const Bytes key = fixtures::public_key();
  const Bytes manifest = fixtures::content("manifest");
  const Bytes good = fixtures::signature(manifest);
  const Bytes over_stream = fixtures::signature(msiboot_test::zlib_compress(manifest));
  Bytes leading_zero = good;
  leading_zero.insert(leading_zero.begin(), 0);
  Bytes trailing_zero = good;
  trailing_zero.push_back(0);

  struct Vector {
    const char* name;
    Bytes content;
    Bytes signature;
    uint32_t expected;
  };
  const std::vector<Vector> vectors = {
      {"valid", manifest, good, kSignatureValid},
      {"valid over empty content", {}, fixtures::signature({}), kSignatureValid},
      {"valid over 1200 random bytes", fixtures::content("cabinet"),
       fixtures::signature(fixtures::content("cabinet")), kSignatureValid},
      {"content with one bit changed", changed(manifest, 10, 0x04), good, kSignatureMismatch},
      {"content one byte shorter", Bytes(manifest.begin(), manifest.end() - 1), good,
       kSignatureMismatch},
      {"signature with one bit changed", manifest, changed(good, 128, 0x80), kSignatureMismatch},
      {"signature over the zlib stream", manifest, over_stream, kSignatureMismatch},
      {"signature of another content", manifest, fixtures::signature(fixtures::content("package")),
       kSignatureMismatch},
      {"signature of 255 bytes", manifest, Bytes(good.begin(), good.end() - 1), kSignatureMismatch},
      {"signature of 255 bytes without the first", manifest, Bytes(good.begin() + 1, good.end()),
       kSignatureMismatch},
      {"signature of 257 bytes, leading zero", manifest, leading_zero, kSignatureMismatch},
      {"signature of 257 bytes, trailing zero", manifest, trailing_zero, kSignatureMismatch},
      {"empty signature", manifest, {}, kSignatureMismatch},
      {"signature of zeros", manifest, Bytes(256, 0), kSignatureMismatch},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.name);
    EXPECT_EQ(verify(key, v.content, v.signature), v.expected);
  }
}

TEST(RecordSignature, KeyBlobsThatCannotBeDecoded) {
  const Bytes key = fixtures::public_key();
  const Bytes manifest = fixtures::content("manifest");
  const Bytes good = fixtures::signature(manifest);
  Bytes bit_length_4096 = key;
  bit_length_4096[13] = 0x10;  // 0x1000 bits in the RSA header, where the blob holds 2048

  struct Vector {
    const char* name;
    Bytes key;
  };
  const std::vector<Vector> vectors = {
      {"magic number changed", changed(key, 8, 0xFF)},
      {"private-key magic in a public blob", changed(key, 11, 0x31 ^ 0x32)},
      {"private-key blob type", changed(key, 0, 0x06 ^ 0x07)},
      {"unknown blob type", changed(key, 0, 0xFF)},
      {"bit length larger than the blob", bit_length_4096},
      {"cut to 100 bytes", Bytes(key.begin(), key.begin() + 100)},
      {"header only", Bytes(key.begin(), key.begin() + 8)},
      {"all zeros", Bytes(276, 0)},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.name);
    EXPECT_EQ(verify(v.key, manifest, good), kSignatureKeyNotDecoded);
  }
}

}  // namespace
