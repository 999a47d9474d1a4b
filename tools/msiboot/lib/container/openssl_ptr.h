#pragma once
// The one owning pointer for OpenSSL's objects: OpenSslPtr<X509> frees with X509_free, and so on
// for every type the tool holds. A type without a free function here does not compile.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace msiboot_tool {

struct OpenSslFree {
  void operator()(ASN1_OBJECT* p) const { ASN1_OBJECT_free(p); }
  void operator()(ASN1_STRING* p) const { ASN1_STRING_free(p); }
  void operator()(BIGNUM* p) const { BN_free(p); }
  void operator()(BIO* p) const { BIO_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(PKCS7* p) const { PKCS7_free(p); }
  void operator()(PKCS7_SIGNER_INFO* p) const { PKCS7_SIGNER_INFO_free(p); }
  void operator()(TS_TST_INFO* p) const { TS_TST_INFO_free(p); }
  void operator()(TS_VERIFY_CTX* p) const { TS_VERIFY_CTX_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
  void operator()(X509_SIG* p) const { X509_SIG_free(p); }
  void operator()(X509_STORE* p) const { X509_STORE_free(p); }
  void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); }
  void operator()(unsigned char* p) const { OPENSSL_free(p); }  // DER that i2d_ functions allocated
};

template <typename T>
using OpenSslPtr = std::unique_ptr<T, OpenSslFree>;

}  // namespace msiboot_tool
