#include <windows.h>
// windows.h first: wincrypt.h depends on it.
#include <wincrypt.h>

#include "platform/certificate_set.h"
#include "platform/system_library_win.h"

// The opaque records are the CryptoAPI handles themselves. The functions come from crypt32 in the
// system directory; a set or certificate that open or parse gave means the table is resolved.
namespace {

template <typename Function>
Function* crypt32(SystemFunction function) {
  return reinterpret_cast<Function*>(system_function(function));
}

HCRYPTMSG message_of(CertificateSet* set) { return reinterpret_cast<HCRYPTMSG>(set); }

PCCERT_CONTEXT context_of(const ParsedCertificate* certificate) {
  return reinterpret_cast<PCCERT_CONTEXT>(certificate);
}

auto get_param() { return crypt32<decltype(CryptMsgGetParam)>(kCryptMsgGetParam); }

}  // namespace

bool certificate_set_open(CertificateSet** set) {
  auto open = crypt32<decltype(CryptMsgOpenToDecode)>(kCryptMsgOpenToDecode);
  HCRYPTMSG message =
      open != nullptr ? open(PKCS_7_ASN_ENCODING, 0, 0, 0, nullptr, nullptr) : nullptr;
  *set = reinterpret_cast<CertificateSet*>(message);
  return message != nullptr;
}

bool certificate_set_update(CertificateSet* set, const uint8_t* bytes, uint32_t length) {
  auto update = crypt32<decltype(CryptMsgUpdate)>(kCryptMsgUpdate);
  return update(message_of(set), bytes, length, TRUE) != FALSE;
}

bool certificate_set_count(CertificateSet* set, uint32_t* count) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  BOOL ok = get_param()(message_of(set), CMSG_CERT_COUNT_PARAM, 0, &value, &size);
  *count = ok ? value : 0;
  return ok != FALSE;
}

bool certificate_set_encoded_size(CertificateSet* set, uint32_t index, uint32_t* size) {
  DWORD value = 0;
  BOOL ok = get_param()(message_of(set), CMSG_CERT_PARAM, index, nullptr, &value);
  *size = ok ? value : 0;
  return ok != FALSE;
}

bool certificate_set_encoded(CertificateSet* set, uint32_t index, uint8_t* block, uint32_t size) {
  DWORD value = size;
  return get_param()(message_of(set), CMSG_CERT_PARAM, index, block, &value) != FALSE;
}

void certificate_set_close(CertificateSet* set) {
  if (set != nullptr) crypt32<decltype(CryptMsgClose)>(kCryptMsgClose)(message_of(set));
}

bool certificate_parse(const uint8_t* encoded, uint32_t size, ParsedCertificate** certificate) {
  auto create = crypt32<decltype(CertCreateCertificateContext)>(kCertCreateCertificateContext);
  PCCERT_CONTEXT context = create != nullptr ? create(X509_ASN_ENCODING, encoded, size) : nullptr;
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
  if (certificate != nullptr) {
    crypt32<decltype(CertFreeCertificateContext)>(kCertFreeCertificateContext)(
        context_of(certificate));
  }
}
