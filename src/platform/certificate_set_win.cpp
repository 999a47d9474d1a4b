#include <windows.h>
// windows.h first: wincrypt.h depends on it.
#include <wincrypt.h>

#include "platform/certificate_set.h"

// The opaque records are the CryptoAPI handles themselves.
namespace {

HCRYPTMSG message_of(CertificateSet* set) { return reinterpret_cast<HCRYPTMSG>(set); }

PCCERT_CONTEXT context_of(const ParsedCertificate* certificate) {
  return reinterpret_cast<PCCERT_CONTEXT>(certificate);
}

}  // namespace

bool certificate_set_open(CertificateSet** set) {
  HCRYPTMSG message = CryptMsgOpenToDecode(PKCS_7_ASN_ENCODING, 0, 0, 0, nullptr, nullptr);
  *set = reinterpret_cast<CertificateSet*>(message);
  return message != nullptr;
}

bool certificate_set_update(CertificateSet* set, const uint8_t* bytes, uint32_t length) {
  return CryptMsgUpdate(message_of(set), bytes, length, TRUE) != FALSE;
}

bool certificate_set_count(CertificateSet* set, uint32_t* count) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  BOOL ok = CryptMsgGetParam(message_of(set), CMSG_CERT_COUNT_PARAM, 0, &value, &size);
  *count = ok ? value : 0;
  return ok != FALSE;
}

bool certificate_set_encoded_size(CertificateSet* set, uint32_t index, uint32_t* size) {
  DWORD value = 0;
  BOOL ok = CryptMsgGetParam(message_of(set), CMSG_CERT_PARAM, index, nullptr, &value);
  *size = ok ? value : 0;
  return ok != FALSE;
}

bool certificate_set_encoded(CertificateSet* set, uint32_t index, uint8_t* block, uint32_t size) {
  DWORD value = size;
  return CryptMsgGetParam(message_of(set), CMSG_CERT_PARAM, index, block, &value) != FALSE;
}

void certificate_set_close(CertificateSet* set) {
  if (set != nullptr) CryptMsgClose(message_of(set));
}

bool certificate_parse(const uint8_t* encoded, uint32_t size, ParsedCertificate** certificate) {
  PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING, encoded, size);
  *certificate = reinterpret_cast<ParsedCertificate*>(const_cast<CERT_CONTEXT*>(context));
  return context != nullptr;
}

uint32_t certificate_extension_count(const ParsedCertificate* certificate) {
  return context_of(certificate)->pCertInfo->cExtension;
}

void certificate_extension(ParsedCertificate* certificate, uint32_t index,
                           CertificateExtension* extension) {
  const CERT_EXTENSION& source = context_of(certificate)->pCertInfo->rgExtension[index];
  extension->identifier = source.pszObjId;
  extension->critical = source.fCritical != FALSE;
  extension->value = source.Value.pbData;
  extension->length = source.Value.cbData;
}

void certificate_free(ParsedCertificate* certificate) {
  if (certificate != nullptr) CertFreeCertificateContext(context_of(certificate));
}
