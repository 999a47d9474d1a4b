#include "authenticode/signed_image.h"

#include <memory>
#include <stdexcept>

#include "container/openssl_ptr.h"
#include "files/byte_buffer.h"
#include "files/tool_error.h"
#include "payload/pe_layout.h"
#include "payload/signature_table.h"

namespace msiboot_tool {
namespace {

using namespace pe_layout;

// The table's own checks (the stub's, then the signature's), and where the first entry's content
// lies; sums in 64 bits, so that no header value wraps a bound.
std::string table_problem(const uint8_t* image, size_t size, const CertificateTable& table) {
  uint32_t length = 0;
  uint32_t state = check_certificate_table(image, size, table.offset, table.size, &length);
  if (state == kCertificateTableTooShort) return "the certificate table is too short for an entry";
  if (state == kCertificateTablePastEnd) return "the certificate table runs past the end of the file";
  if (table.offset < static_cast<uint64_t>(table.directory_field) + kDirectorySize) {
    return "the certificate table overlaps the PE headers";
  }
  if (state != kCertificateTableUsable) return "the first certificate entry does not fit its table";
  uint16_t revision = read_u16le(image + table.offset + 4), type = read_u16le(image + table.offset + 6);
  if (revision != kWinCertificateRevision2 || type != kWinCertificatePkcsSignedData) {
    return "the first certificate entry is not PKCS signed data (revision " + std::to_string(revision) +
           ", type " + std::to_string(type) + ")";
  }
  return "";
}

}  // namespace

SignedImage locate_signature(const uint8_t* image, size_t size) {
  SignedImage signed_image;
  try {
    signed_image.table = read_certificate_directory({image, size});
    const CertificateTable& table = signed_image.table;
    if (table.size == 0) return signed_image;
    signed_image.problem = table_problem(image, size, table);
    if (!signed_image.problem.empty()) {
      signed_image.state = SignatureState::Unreadable;
      return signed_image;
    }
    uint64_t sections = sections_end({image, size});
    signed_image.state = SignatureState::Signed;
    signed_image.table.first_entry_length = read_u32le(image + table.offset);
    signed_image.message = image + table.offset + kWinCertificateHeader;
    signed_image.message_length = table.first_entry_length - kWinCertificateHeader;
    signed_image.appended_before_table = table.offset > sections ? table.offset - sections : 0;
    signed_image.after_table = size - (static_cast<uint64_t>(table.offset) + table.size);
  } catch (const ToolError& error) {
    signed_image = SignedImage{SignatureState::Unreadable, error.reason()};
  }
  return signed_image;
}

std::vector<uint8_t> authenticode_image_digest(const uint8_t* image, size_t size,
                                               const CertificateTable& table, const EVP_MD* md) {
  const uint64_t table_end = static_cast<uint64_t>(table.offset) + table.size;
  const struct {
    uint64_t from, to;
  } ranges[] = {
      {0, table.checksum_field},
      {table.checksum_field + kChecksumSize, table.directory_field},
      {table.directory_field + kDirectorySize, table.offset},
      {table_end, size},
  };
  OpenSslPtr<EVP_MD_CTX> context(EVP_MD_CTX_new());
  bool hashed = context && EVP_DigestInit_ex(context.get(), md, nullptr) == 1;
  for (const auto& range : ranges) {
    if (range.from > range.to || range.to > size) throw ToolError("the image digest ranges overlap");
    hashed = hashed && EVP_DigestUpdate(context.get(), image + range.from, range.to - range.from) == 1;
  }
  std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (!hashed || EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
    throw ToolError("cannot compute the image digest");
  }
  digest.resize(length);
  return digest;
}

}  // namespace msiboot_tool
