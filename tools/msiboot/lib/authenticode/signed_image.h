#pragma once
// The Authenticode view of a PE32+ file held in memory: where its signature lies, read from the
// headers without trusting them (an unusable table is reported, never thrown), and the image
// digest a signature covers: every byte but the CheckSum field, the security directory entry and
// the certificate table, in file order.
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/certificate_table.h"

namespace msiboot_tool {

enum class SignatureState { Unsigned, Signed, Unreadable };

struct SignedImage {
  SignatureState state = SignatureState::Unsigned;
  std::string problem;       // why the table cannot be read, when Unreadable
  CertificateTable table{};  // when Signed
  const uint8_t* message = nullptr;  // the first entry's content: the PKCS#7 DER and what follows it
  uint32_t message_length = 0;
  uint64_t appended_before_table = 0;  // bytes between the sections' end and the table
  uint64_t after_table = 0;            // bytes after the table: hashed, though no signer puts any there
};

// Reads the headers of the size bytes at image. The first WIN_CERTIFICATE entry must be revision
// 2 PKCS signed data that lies within its table, and the table within the file after the headers.
SignedImage locate_signature(const uint8_t* image, size_t size);

// The digest with md of the Authenticode ranges of an image that locate_signature found signed.
std::vector<uint8_t> authenticode_image_digest(const uint8_t* image, size_t size,
                                               const CertificateTable& table, const EVP_MD* md);

}  // namespace msiboot_tool
