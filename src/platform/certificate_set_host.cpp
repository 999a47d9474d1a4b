#include <limits.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "platform/certificate_set.h"
#include "platform/error_codes.h"
#include "platform/heap.h"
#include "platform/last_error.h"

struct CertificateSet {
  PKCS7* message;
};

struct ParsedCertificate {
  X509* certificate;
  // Longer than the one identifier the reader looks for, so a cut text is never mistaken for it.
  char identifier[128];
};

namespace {

// OpenSSL's own error queue is dropped; the last error carries the code, 0 when there is none.
bool fail(uint32_t code) {
  ERR_clear_error();
  platform_set_last_error(code);
  return false;
}

STACK_OF(X509)* certificates_of(const CertificateSet* set) {
  if (set->message == nullptr || !PKCS7_type_is_signed(set->message) ||
      set->message->d.sign == nullptr) {
    return nullptr;
  }
  return set->message->d.sign->cert;
}

X509* certificate_at(const CertificateSet* set, uint32_t index) {
  STACK_OF(X509)* certificates = certificates_of(set);
  if (certificates == nullptr || index >= static_cast<uint32_t>(sk_X509_num(certificates))) {
    return nullptr;
  }
  return sk_X509_value(certificates, static_cast<int>(index));
}

}  // namespace

bool certificate_set_open(CertificateSet** set) {
  *set = static_cast<CertificateSet*>(heap_alloc(kHeapZeroInit, sizeof(CertificateSet)));
  return *set != nullptr;
}

bool certificate_set_update(CertificateSet* set, const uint8_t* bytes, uint32_t length) {
  if (set->message != nullptr || length > static_cast<uint32_t>(LONG_MAX)) return fail(0);
  // d2i reads the DER message at the front and leaves whatever follows it alone.
  const unsigned char* cursor = bytes;
  set->message = d2i_PKCS7(nullptr, &cursor, static_cast<long>(length));
  return set->message != nullptr || fail(0);
}

bool certificate_set_count(CertificateSet* set, uint32_t* count) {
  *count = 0;
  if (set->message == nullptr || !PKCS7_type_is_signed(set->message)) return fail(0);
  STACK_OF(X509)* certificates = certificates_of(set);
  if (certificates != nullptr) *count = static_cast<uint32_t>(sk_X509_num(certificates));
  return true;
}

bool certificate_set_encoded_size(CertificateSet* set, uint32_t index, uint32_t* size) {
  *size = 0;
  X509* certificate = certificate_at(set, index);
  int length = certificate == nullptr ? -1 : i2d_X509(certificate, nullptr);
  if (length <= 0) return fail(0);
  *size = static_cast<uint32_t>(length);
  return true;
}

bool certificate_set_encoded(CertificateSet* set, uint32_t index, uint8_t* block, uint32_t size) {
  X509* certificate = certificate_at(set, index);
  int length = certificate == nullptr ? -1 : i2d_X509(certificate, nullptr);
  if (length <= 0) return fail(0);
  if (static_cast<uint32_t>(length) > size) return fail(kErrorMoreData);
  unsigned char* cursor = block;
  return i2d_X509(certificate, &cursor) == length || fail(0);
}

void certificate_set_close(CertificateSet* set) {
  if (set == nullptr) return;
  PKCS7_free(set->message);
  heap_free(set);
}

bool certificate_parse(const uint8_t* encoded, uint32_t size, ParsedCertificate** certificate) {
  *certificate = nullptr;
  if (size > static_cast<uint32_t>(LONG_MAX)) return fail(0);
  auto* parsed = static_cast<ParsedCertificate*>(heap_alloc(kHeapZeroInit, sizeof(ParsedCertificate)));
  if (parsed == nullptr) return false;
  const unsigned char* cursor = encoded;
  parsed->certificate = d2i_X509(nullptr, &cursor, static_cast<long>(size));
  if (parsed->certificate == nullptr) {
    heap_free(parsed);
    return fail(0);
  }
  *certificate = parsed;
  return true;
}

uint32_t certificate_extension_count(const ParsedCertificate* certificate) {
  int count = X509_get_ext_count(certificate->certificate);
  return count > 0 ? static_cast<uint32_t>(count) : 0;
}

void certificate_extension(ParsedCertificate* certificate, uint32_t index,
                           CertificateExtension* extension) {
  X509_EXTENSION* source = X509_get_ext(certificate->certificate, static_cast<int>(index));
  int length = OBJ_obj2txt(certificate->identifier, sizeof(certificate->identifier),
                           X509_EXTENSION_get_object(source), 1);
  bool whole = length > 0 && static_cast<size_t>(length) < sizeof(certificate->identifier);
  extension->identifier = whole ? certificate->identifier : nullptr;
  extension->critical = X509_EXTENSION_get_critical(source) > 0;
  const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(source);
  extension->value = ASN1_STRING_get0_data(value);
  extension->length = static_cast<uint32_t>(ASN1_STRING_length(value));
}

void certificate_free(ParsedCertificate* certificate) {
  if (certificate == nullptr) return;
  X509_free(certificate->certificate);
  heap_free(certificate);
}
