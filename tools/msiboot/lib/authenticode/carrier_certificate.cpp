#include "authenticode/carrier_certificate.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/sha.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

#include "files/byte_buffer.h"
#include "files/tool_error.h"
#include "payload/pe_layout.h"
#include "payload/signature_table.h"
#include "pe/certificate_table.h"

namespace msiboot_tool {
namespace {

[[noreturn]] void fail(const std::string& what) {
  unsigned long code = ERR_get_error();
  char detail[256] = "";
  if (code != 0) ERR_error_string_n(code, detail, sizeof(detail));
  ERR_clear_error();
  throw ToolError(what + (code != 0 ? std::string(": ") + detail : std::string()));
}

void check(int result, const char* what) {
  if (result <= 0) fail(what);
}

OpenSslPtr<X509_EXTENSION> make_extension(const ExtensionEntry& entry) {
  OpenSslPtr<ASN1_OBJECT> object(OBJ_txt2obj(entry.identifier.c_str(), 1));
  if (!object) fail("not a dotted object identifier: " + entry.identifier);
  OpenSslPtr<ASN1_OCTET_STRING> octets(ASN1_OCTET_STRING_new());
  if (!octets) fail("out of memory");
  check(ASN1_OCTET_STRING_set(octets.get(), entry.value.data(), static_cast<int>(entry.value.size())),
        "extension value");
  OpenSslPtr<X509_EXTENSION> extension(X509_EXTENSION_create_by_OBJ(
      nullptr, object.get(), entry.critical ? 1 : 0, octets.get()));
  if (!extension) fail("extension " + entry.identifier);
  return extension;
}

// A positive 63-bit serial number drawn from the extensions, so that equal inputs repeat it.
void set_serial(X509* certificate, const std::vector<ExtensionEntry>& extensions) {
  std::vector<uint8_t> material;
  for (const ExtensionEntry& entry : extensions) {
    material.insert(material.end(), entry.identifier.begin(), entry.identifier.end());
    material.push_back(0);
    material.push_back(entry.critical ? 1 : 0);
    material.insert(material.end(), entry.value.begin(), entry.value.end());
  }
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(material.data(), material.size(), digest);
  digest[0] &= 0x7F;
  OpenSslPtr<BIGNUM> serial(BN_bin2bn(digest, 8, nullptr));
  if (!serial || BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate)) == nullptr) {
    fail("serial number");
  }
}

void set_carrier_name(X509* certificate) {
  check(X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("msiboot payload carrier"),
                                   -1, -1, 0),
        "subject name");
}

void set_names_and_validity(X509* certificate, const CertificateIssuer& issuer) {
  check(X509_set_version(certificate, 2), "version");
  check(X509_set_issuer_name(certificate, X509_get_subject_name(issuer.certificate.get())),
        "issuer name");
  set_carrier_name(certificate);
  check(ASN1_TIME_set_string_X509(X509_getm_notBefore(certificate), "20200101000000Z"),
        "validity");
  check(ASN1_TIME_set_string_X509(X509_getm_notAfter(certificate), "21191231235959Z"),
        "validity");
  check(X509_set_pubkey(certificate, issuer.key.get()), "public key");
}

// The signature with the extra certificates in its set, re-encoded.
std::vector<uint8_t> signature_with(const uint8_t* message_bytes, size_t length,
                                    const std::vector<std::vector<uint8_t>>& certificates) {
  const unsigned char* cursor = message_bytes;
  OpenSslPtr<PKCS7> message(d2i_PKCS7(nullptr, &cursor, static_cast<long>(length)));
  if (!message || !PKCS7_type_is_signed(message.get())) {
    throw ToolError("the certificate table holds no PKCS#7 signed message");
  }
  for (size_t i = static_cast<size_t>(cursor - message_bytes); i < length; ++i) {
    if (message_bytes[i] != 0) throw ToolError("the signature entry holds data after it");
  }
  for (const std::vector<uint8_t>& der : certificates) {
    const unsigned char* p = der.data();
    OpenSslPtr<X509> certificate(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (!certificate) throw ToolError("not a DER certificate");
    // The message takes a reference of its own.
    if (PKCS7_add_certificate(message.get(), certificate.get()) != 1) {
      throw ToolError("cannot add a certificate to the signature");
    }
  }
  int encoded = i2d_PKCS7(message.get(), nullptr);
  if (encoded <= 0) throw ToolError("cannot encode the signature");
  std::vector<uint8_t> der(static_cast<size_t>(encoded));
  unsigned char* out = der.data();
  i2d_PKCS7(message.get(), &out);
  return der;
}

}  // namespace

CertificateIssuer self_issuer(EVP_PKEY* key) {
  CertificateIssuer issuer;
  issuer.certificate.reset(X509_new());
  if (!issuer.certificate || EVP_PKEY_up_ref(key) != 1) fail("out of memory");
  issuer.key.reset(key);
  set_carrier_name(issuer.certificate.get());
  return issuer;
}

ExtensionEntry carrier_extension(const std::vector<uint8_t>& container) {
  return ExtensionEntry{PayloadExtensionOid, false, container};
}

std::vector<uint8_t> make_carrier_certificate(const std::vector<ExtensionEntry>& extensions,
                                              const CertificateIssuer& issuer) {
  OpenSslPtr<X509> certificate(X509_new());
  if (!certificate) fail("out of memory");
  set_serial(certificate.get(), extensions);
  set_names_and_validity(certificate.get(), issuer);
  for (const ExtensionEntry& entry : extensions) {
    check(X509_add_ext(certificate.get(), make_extension(entry).get(), -1), "add extension");
  }
  check(X509_sign(certificate.get(), issuer.key.get(), EVP_sha256()), "sign certificate");

  int length = i2d_X509(certificate.get(), nullptr);
  if (length <= 0) fail("encode certificate");
  std::vector<uint8_t> der(static_cast<size_t>(length));
  unsigned char* cursor = der.data();
  if (i2d_X509(certificate.get(), &cursor) != length) fail("encode certificate");
  return der;
}

std::vector<uint8_t> make_carrier_certificate(const std::vector<uint8_t>& container,
                                              const CertificateIssuer& issuer) {
  return make_carrier_certificate(std::vector<ExtensionEntry>{carrier_extension(container)}, issuer);
}

std::vector<uint8_t> add_signature_certificates(
    const std::vector<uint8_t>& signed_image,
    const std::vector<std::vector<uint8_t>>& certificates) {
  using namespace pe_layout;
  CertificateTable table = locate_certificate_table(signed_image);
  std::vector<uint8_t> der = signature_with(signed_image.data() + table.offset + kWinCertificateHeader,
                                            table.first_entry_length - kWinCertificateHeader, certificates);
  // The entry is padded, its length counting the padding; later entries follow it.
  size_t entry_length = (kWinCertificateHeader + der.size() + kWinCertificateAlignment - 1) &
                        ~static_cast<size_t>(kWinCertificateAlignment - 1);
  std::vector<uint8_t> image(signed_image.begin(), signed_image.begin() + table.offset);
  size_t entry = image.size();
  image.resize(entry + entry_length, 0);
  put_u32le(image, entry, checked_u32(entry_length, "image"));
  put_u16le(image, entry + 4, kWinCertificateRevision2);
  put_u16le(image, entry + 6, kWinCertificatePkcsSignedData);
  std::copy(der.begin(), der.end(), image.begin() + entry + kWinCertificateHeader);
  image.insert(image.end(), signed_image.begin() + table.offset + table.first_entry_length,
               signed_image.end());
  put_u32le(image, table.directory_field + 4, checked_u32(image.size() - table.offset, "image"));
  update_pe_checksum(image);
  return image;
}

}  // namespace msiboot_tool
