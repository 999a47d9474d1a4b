#pragma once
// The PKCS#7 message of a signature, parsed with OpenSSL without its large certificates: a carrier
// certificate holds a whole container (it may be hundreds of MB), which the Authenticode signature
// does not cover and a parsed message would hold twice over. No signer or chain certificate comes
// near the limit.
#include <openssl/pkcs7.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace msiboot_tool {

struct Pkcs7Deleter {
  void operator()(PKCS7* message) const { PKCS7_free(message); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Pkcs7Deleter>;

constexpr size_t kLargestParsedCertificate = 1 << 20;

// The SignedData message at the start of the length bytes at der, its certificates larger than
// kLargestParsedCertificate left out, or null when there is none. used, when given, receives how
// many bytes the message takes at der.
Pkcs7Ptr parse_signature_message(const uint8_t* der, size_t length, size_t* used);

}  // namespace msiboot_tool
