#include "carrier_certificate.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

#include "payload/signature_table.h"

namespace msiboot_tool {
namespace {

struct ObjectFree {
  void operator()(ASN1_OBJECT* object) const { ASN1_OBJECT_free(object); }
};
struct OctetsFree {
  void operator()(ASN1_OCTET_STRING* octets) const { ASN1_OCTET_STRING_free(octets); }
};
struct ExtensionFree {
  void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};
struct BignumFree {
  void operator()(BIGNUM* number) const { BN_free(number); }
};

[[noreturn]] void fail(const std::string& what) {
  unsigned long code = ERR_get_error();
  char detail[256] = "";
  if (code != 0) ERR_error_string_n(code, detail, sizeof(detail));
  ERR_clear_error();
  throw std::runtime_error(what + (code != 0 ? std::string(": ") + detail : std::string()));
}

void check(int result, const char* what) {
  if (result <= 0) fail(what);
}

std::unique_ptr<X509_EXTENSION, ExtensionFree> make_extension(const ExtensionEntry& entry) {
  std::unique_ptr<ASN1_OBJECT, ObjectFree> object(OBJ_txt2obj(entry.identifier.c_str(), 1));
  if (!object) fail("not a dotted object identifier: " + entry.identifier);
  std::unique_ptr<ASN1_OCTET_STRING, OctetsFree> octets(ASN1_OCTET_STRING_new());
  if (!octets) fail("out of memory");
  check(ASN1_OCTET_STRING_set(octets.get(), entry.value.data(), static_cast<int>(entry.value.size())),
        "extension value");
  std::unique_ptr<X509_EXTENSION, ExtensionFree> extension(X509_EXTENSION_create_by_OBJ(
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
  std::unique_ptr<BIGNUM, BignumFree> serial(BN_bin2bn(digest, 8, nullptr));
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
  X509Ptr certificate(X509_new());
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

}  // namespace msiboot_tool
