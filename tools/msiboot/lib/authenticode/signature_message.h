#pragma once
// The PKCS#7 message of a signature, parsed with OpenSSL without its large certificates: a carrier
// certificate holds a whole container (it may be hundreds of MB), which the Authenticode signature
// does not cover and a parsed message would hold twice over. No signer or chain certificate comes
// near the limit.
#include <openssl/pkcs7.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "container/openssl_ptr.h"

namespace msiboot_tool {

constexpr size_t kLargestParsedCertificate = 1 << 20;

// The SignedData message at the start of the length bytes at der, its certificates larger than
// kLargestParsedCertificate left out, or null when there is none. used, when given, receives how
// many bytes the message takes at der.
OpenSslPtr<PKCS7> parse_signature_message(const uint8_t* der, size_t length, size_t* used);

}  // namespace msiboot_tool
