#include "authenticode/signature_check.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>
#include <stdexcept>

#include "authenticode/signature_message.h"
#include "files/byte_buffer.h"
#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

constexpr char kIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";      // SpcIndirectDataContent
constexpr char kNestedSignatureOid[] = "1.3.6.1.4.1.311.2.4.1";   // a whole further signature
constexpr size_t kMostNestedSignatures = 8;
constexpr char kTimestampTokenOid[] = "1.3.6.1.4.1.311.3.3.1";    // an RFC 3161 token
constexpr char kCountersignatureOid[] = "1.2.840.113549.1.9.6";   // a PKCS #9 countersignature

// The image a signature is checked against, as locate_signature found it.
struct ImageView {
  const uint8_t* bytes;
  size_t size;
  CertificateTable table;
};

std::string oid_text(const ASN1_OBJECT* object) {
  char text[128] = "";
  OBJ_obj2txt(text, sizeof text, object, 1);
  return text;
}

std::string algorithm_name(const ASN1_OBJECT* object) {
  int nid = OBJ_obj2nid(object);
  return nid != NID_undef ? OBJ_nid2ln(nid) : oid_text(object);
}

// ISO 8601 in UTC; seconds, when given, receives the same time.
std::string iso_time(const ASN1_TIME* time, time_t* seconds = nullptr) {
  struct tm fields = {};
  char text[32] = "";
  if (time == nullptr || ASN1_TIME_to_tm(time, &fields) != 1) return "";
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
  if (seconds != nullptr) *seconds = timegm(&fields);
  return text;
}

// RFC 2253, every byte outside ASCII escaped.
std::string name_text(const X509_NAME* name) {
  OpenSslPtr<BIO> bio(BIO_new(BIO_s_mem()));
  char* data = nullptr;
  if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253) < 0) return "";
  long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

// The first OpenSSL error's reason with its detail, and the queue cleared.
std::string openssl_reason() {
  const char* detail = nullptr;
  int flags = 0;
  const char* reason = ERR_reason_error_string(ERR_peek_error_data(&detail, &flags));
  std::string text = reason != nullptr ? reason : "unknown error";
  if (detail != nullptr && (flags & ERR_TXT_STRING) != 0 && *detail != '\0') text += std::string(" (") + detail + ")";
  ERR_clear_error();
  return text;
}

OpenSslPtr<X509_STORE> trust_store(const std::string& ca_file) {
  OpenSslPtr<X509_STORE> store(X509_STORE_new());
  bool loaded = store && (ca_file.empty() ? X509_STORE_set_default_paths(store.get())
                                          : X509_STORE_load_file(store.get(), ca_file.c_str())) == 1;
  ERR_clear_error();
  if (!loaded) throw ToolError(ca_file, "cannot read CA certificates from it");
  return store;
}

// The values (DER sequences) of the signer's unsigned attributes with the given identifier.
std::vector<const ASN1_STRING*> unsigned_values(PKCS7_SIGNER_INFO* info, const char* oid) {
  std::vector<const ASN1_STRING*> values;
  for (int i = 0; i < sk_X509_ATTRIBUTE_num(info->unauth_attr); ++i) {
    X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(info->unauth_attr, i);
    if (oid_text(X509_ATTRIBUTE_get0_object(attribute)) != oid) continue;
    for (int j = 0; j < X509_ATTRIBUTE_count(attribute); ++j) {
      ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, j);
      if (value != nullptr && value->type == V_ASN1_SEQUENCE) values.push_back(value->value.sequence);
    }
  }
  return values;
}

X509* signer_certificate(PKCS7* message, PKCS7_SIGNER_INFO* info) {
  STACK_OF(X509)* certificates = message->d.sign->cert;
  if (certificates == nullptr || info->issuer_and_serial == nullptr) return nullptr;
  return X509_find_by_issuer_and_serial(certificates, info->issuer_and_serial->issuer,
                                        info->issuer_and_serial->serial);
}

// The signed data's SpcIndirectDataContent: its content octets (what the messageDigest attribute
// covers) and its DigestInfo, the image digest the signer signed.
struct IndirectData {
  const uint8_t* content = nullptr;
  size_t length = 0;
  OpenSslPtr<X509_SIG> digest_info;
};

std::string read_indirect_data(PKCS7* message, IndirectData& data) {
  const std::string problem = "the signed data is not an Authenticode image digest";
  PKCS7* contents = message->d.sign->contents;
  if (contents == nullptr || contents->type == nullptr || oid_text(contents->type) != kIndirectDataOid ||
      contents->d.other == nullptr || contents->d.other->type != V_ASN1_SEQUENCE) {
    return problem;
  }
  const ASN1_STRING* sequence = contents->d.other->value.sequence;
  const unsigned char* cursor = ASN1_STRING_get0_data(sequence);
  long length = 0, skipped = 0;
  int tag = 0, tag_class = 0;
  // ASN1_get_object bounds each length by what remains; definite lengths only.
  if (ASN1_get_object(&cursor, &length, &tag, &tag_class, ASN1_STRING_length(sequence)) != V_ASN1_CONSTRUCTED ||
      tag != V_ASN1_SEQUENCE) {
    return problem;
  }
  data.content = cursor;
  data.length = static_cast<size_t>(length);
  if (ASN1_get_object(&cursor, &skipped, &tag, &tag_class, length) != V_ASN1_CONSTRUCTED) return problem;
  cursor += skipped;  // the SpcPeImageData, which says nothing the digest does not cover
  data.digest_info.reset(d2i_X509_SIG(nullptr, &cursor, static_cast<long>(data.content + data.length - cursor)));
  ERR_clear_error();
  return data.digest_info ? "" : problem;
}

std::vector<uint8_t> digest_of(const EVP_MD* md, const uint8_t* bytes, size_t length) {
  std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned int digest_length = 0;
  if (EVP_Digest(bytes, length, digest.data(), &digest_length, md, nullptr) != 1) digest_length = 0;
  digest.resize(digest_length);
  return digest;
}

// Why a signer info does not hold over content: its messageDigest attribute against the content,
// then its signature over the signed attributes (their DER SET) with the signer's key.
std::string signer_info_problem(PKCS7_SIGNER_INFO* info, X509* signer, const uint8_t* content, size_t length) {
  const EVP_MD* md = EVP_get_digestbyobj(info->digest_alg->algorithm);
  if (md == nullptr) return "unsupported digest algorithm " + oid_text(info->digest_alg->algorithm);
  if (signer == nullptr) return "the signer's certificate is not in the signature";
  const ASN1_OCTET_STRING* stated = PKCS7_digest_from_attributes(info->auth_attr);
  const std::vector<uint8_t> actual = digest_of(md, content, length);
  if (stated == nullptr || actual.empty() ||
      std::vector<uint8_t>(stated->data, stated->data + stated->length) != actual) {
    return "the messageDigest attribute does not match the signed content";
  }
  unsigned char* encoded = nullptr;
  int encoded_length = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(info->auth_attr), &encoded,
                                     ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
  OpenSslPtr<unsigned char> owned(encoded);
  OpenSslPtr<EVP_MD_CTX> context(EVP_MD_CTX_new());
  bool valid = encoded_length > 0 && context &&
               EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, X509_get0_pubkey(signer)) == 1 &&
               EVP_DigestVerify(context.get(), info->enc_digest->data, static_cast<size_t>(info->enc_digest->length),
                                encoded, static_cast<size_t>(encoded_length)) == 1;
  ERR_clear_error();
  return valid ? "" : "the signature over the signed attributes does not verify";
}

// Why certificate does not chain to the store's roots (at the given time, else now) or may not
// be used as usage (an XKU_ flag) says; empty when it does and may.
std::string chain_problem(X509_STORE* store, X509* certificate, STACK_OF(X509)* untrusted, const time_t* at,
                          uint32_t usage) {
  if (certificate == nullptr) return "the signer's certificate is not in the signature";
  OpenSslPtr<X509_STORE_CTX> context(X509_STORE_CTX_new());
  if (!context || X509_STORE_CTX_init(context.get(), store, certificate, untrusted) != 1) return openssl_reason();
  if (at != nullptr) X509_STORE_CTX_set_time(context.get(), 0, *at);
  if (X509_verify_cert(context.get()) != 1) {
    ERR_clear_error();
    return X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get()));
  }
  if ((X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE) != 0 &&
      (X509_get_extended_key_usage(certificate) & usage) == 0) {
    return usage == XKU_CODE_SIGN ? "the signer's certificate is not for code signing"
                                  : "the timestamp signer's certificate is not for timestamping";
  }
  return "";
}

// An RFC 3161 token over the signer's signature value, verified by OpenSSL's timestamp code: its
// signature, its signer's chain to the store (timestamping usage) and its imprint of that value.
Timestamp token_timestamp(const ASN1_STRING* value, PKCS7_SIGNER_INFO* stamped, X509_STORE* store, time_t* at) {
  Timestamp stamp;
  stamp.rfc3161 = true;
  OpenSslPtr<PKCS7> token = parse_signature_message(ASN1_STRING_get0_data(value), static_cast<size_t>(ASN1_STRING_length(value)),
                                     nullptr);
  OpenSslPtr<TS_TST_INFO> info(token ? PKCS7_to_TS_TST_INFO(token.get()) : nullptr);
  if (!info) {
    ERR_clear_error();
    stamp.problem = "the timestamp token cannot be read";
    return stamp;
  }
  stamp.time = iso_time(TS_TST_INFO_get_time(info.get()), at);
  OpenSslPtr<TS_VERIFY_CTX> verify(TS_VERIFY_CTX_new());
  OpenSslPtr<BIO> data(BIO_new_mem_buf(stamped->enc_digest->data, stamped->enc_digest->length));
  if (verify && data && X509_STORE_up_ref(store) == 1) {
    TS_VERIFY_CTX_set_store(verify.get(), store);        // the context owns one reference
    TS_VERIFY_CTX_set_data(verify.get(), data.release());  // and the data
    TS_VERIFY_CTX_set_flags(verify.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_DATA);
    stamp.verified = TS_RESP_verify_token(verify.get(), token.get()) == 1;
  }
  if (!stamp.verified) stamp.problem = openssl_reason();
  ERR_clear_error();
  return stamp;
}

// A PKCS #9 countersignature: a signer info over the signer's signature value, whose signingTime
// is the time; its certificate comes from the signature's certificate set.
Timestamp countersignature_timestamp(const ASN1_STRING* value, PKCS7* message, PKCS7_SIGNER_INFO* stamped,
                                     X509_STORE* store, time_t* at) {
  Timestamp stamp;
  const unsigned char* cursor = ASN1_STRING_get0_data(value);
  OpenSslPtr<PKCS7_SIGNER_INFO> info(d2i_PKCS7_SIGNER_INFO(nullptr, &cursor, ASN1_STRING_length(value)));
  ERR_clear_error();
  const ASN1_TYPE* signing_time = info ? PKCS7_get_signed_attribute(info.get(), NID_pkcs9_signingTime) : nullptr;
  if (signing_time == nullptr ||
      (signing_time->type != V_ASN1_UTCTIME && signing_time->type != V_ASN1_GENERALIZEDTIME)) {
    stamp.problem = "the countersignature has no signing time";
    return stamp;
  }
  stamp.time = iso_time(signing_time->value.utctime, at);
  X509* countersigner = signer_certificate(message, info.get());
  stamp.problem = signer_info_problem(info.get(), countersigner, stamped->enc_digest->data,
                                      static_cast<size_t>(stamped->enc_digest->length));
  if (stamp.problem.empty()) {
    stamp.problem = chain_problem(store, countersigner, message->d.sign->cert, nullptr, XKU_TIMESTAMP);
  }
  stamp.verified = stamp.problem.empty();
  return stamp;
}

std::optional<Timestamp> find_timestamp(PKCS7* message, PKCS7_SIGNER_INFO* info, X509_STORE* store, time_t* at) {
  std::vector<const ASN1_STRING*> tokens = unsigned_values(info, kTimestampTokenOid);
  if (!tokens.empty()) return token_timestamp(tokens.front(), info, store, at);
  std::vector<const ASN1_STRING*> countersignatures = unsigned_values(info, kCountersignatureOid);
  if (!countersignatures.empty()) return countersignature_timestamp(countersignatures.front(), message, info, store, at);
  return std::nullopt;
}

void compare_digest(SignatureCheck& check, const IndirectData& data, const ImageView& image) {
  if (!data.digest_info) {
    check.digest_problem = "the signed data names no image digest";
    return;
  }
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* digest = nullptr;
  const ASN1_OBJECT* object = nullptr;
  X509_SIG_get0(data.digest_info.get(), &algorithm, &digest);
  X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
  check.digest_algorithm = algorithm_name(object);
  check.signed_digest = hex_text({ASN1_STRING_get0_data(digest), static_cast<size_t>(ASN1_STRING_length(digest))});
  const EVP_MD* md = EVP_get_digestbyobj(object);
  if (md == nullptr) {
    check.digest_problem = "unsupported digest algorithm " + check.digest_algorithm;
    return;
  }
  std::vector<uint8_t> computed = authenticode_image_digest(image.bytes, image.size, image.table, md);
  check.image_digest = hex_text(computed);
  check.digest_matches = check.image_digest == check.signed_digest;
}

void describe_signer(SignatureCheck& check, const X509* signer) {
  if (signer == nullptr) return;
  check.signer_subject = name_text(X509_get_subject_name(signer));
  check.signer_issuer = name_text(X509_get_issuer_name(signer));
  check.not_before = iso_time(X509_get0_notBefore(signer));
  check.not_after = iso_time(X509_get0_notAfter(signer));
}

// One signature: the digest, the signer info over the indirect data, the timestamp, and the chain,
// checked at the timestamp's time when it verifies, else now.
SignatureCheck check_signature(PKCS7* message, const ImageView& image, X509_STORE* store) {
  SignatureCheck check;
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(message);
  if (sk_PKCS7_SIGNER_INFO_num(infos) != 1) {
    check.digest_problem = check.signature_problem = check.chain_problem = "the signature has no single signer";
    return check;
  }
  PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
  IndirectData data;
  std::string problem = read_indirect_data(message, data);
  compare_digest(check, data, image);
  X509* signer = signer_certificate(message, info);
  describe_signer(check, signer);
  check.signature_problem = problem.empty() ? signer_info_problem(info, signer, data.content, data.length) : problem;
  check.signature_valid = check.signature_problem.empty();
  time_t stamped_at = 0;
  check.timestamp = find_timestamp(message, info, store, &stamped_at);
  const bool at_stamp = check.timestamp && check.timestamp->verified;
  check.chain_problem = chain_problem(store, signer, message->d.sign->cert, at_stamp ? &stamped_at : nullptr,
                                      XKU_CODE_SIGN);
  check.chain_trusted = check.chain_problem.empty();
  return check;
}

// Every signature nested in the primary one's unsigned attributes, in order, up to a few: each
// hashes the whole image again, and signing tools nest one per digest algorithm.
void check_nested(AuthenticodeReport& report, PKCS7* primary, const ImageView& image, X509_STORE* store) {
  PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(primary), 0);
  if (info == nullptr) return;
  size_t checked = 0;
  for (const ASN1_STRING* value : unsigned_values(info, kNestedSignatureOid)) {
    if (checked++ == kMostNestedSignatures) {
      SignatureCheck unchecked;
      unchecked.digest_problem = unchecked.signature_problem = unchecked.chain_problem =
          "more than " + std::to_string(kMostNestedSignatures) + " nested signatures: the rest are not checked";
      report.signatures.push_back(unchecked);
      break;
    }
    OpenSslPtr<PKCS7> nested = parse_signature_message(ASN1_STRING_get0_data(value), static_cast<size_t>(ASN1_STRING_length(value)),
                                        nullptr);
    if (nested) {
      report.signatures.push_back(check_signature(nested.get(), image, store));
    } else {
      SignatureCheck unreadable;
      unreadable.digest_problem = unreadable.signature_problem = unreadable.chain_problem =
          "the nested signature cannot be read";
      report.signatures.push_back(unreadable);
    }
  }
}

// Bytes after the PKCS#7 message in its entry, less the zero padding that keeps entries 8-byte aligned.
uint32_t bytes_after_message(const SignedImage& located, size_t used) {
  uint32_t tail = located.message_length - static_cast<uint32_t>(used);
  bool padding = tail < 8;
  for (uint32_t i = 0; padding && i < tail; ++i) padding = located.message[used + i] == 0;
  return padding ? 0 : tail;
}

}  // namespace

AuthenticodeReport check_authenticode(const uint8_t* image, size_t size, const std::string& ca_file) {
  OpenSslPtr<X509_STORE> store = trust_store(ca_file);
  SignedImage located = locate_signature(image, size);
  AuthenticodeReport report;
  report.state = located.state;
  report.problem = located.problem;
  report.ca_file = ca_file;
  report.appended_before_table = located.appended_before_table;
  report.after_table = located.after_table;
  if (located.state != SignatureState::Signed) return report;
  size_t used = 0;
  OpenSslPtr<PKCS7> message = parse_signature_message(located.message, located.message_length, &used);
  if (!message) {
    report.state = SignatureState::Unreadable;
    report.problem = "the certificate entry holds no PKCS#7 signed data";
    return report;
  }
  report.after_signature = bytes_after_message(located, used);
  const ImageView view = {image, size, located.table};
  report.signatures.push_back(check_signature(message.get(), view, store.get()));
  check_nested(report, message.get(), view, store.get());
  return report;
}

bool authenticode_needs_publisher(const AuthenticodeReport& report) {
  bool broken = report.state == SignatureState::Unreadable;
  for (const SignatureCheck& check : report.signatures) {
    broken = broken || !check.digest_matches || !check.signature_valid;
  }
  return broken;
}

bool authenticode_chain_untrusted(const AuthenticodeReport& report) {
  bool untrusted = false;
  for (const SignatureCheck& check : report.signatures) {
    untrusted = untrusted || !check.chain_trusted || (check.timestamp && !check.timestamp->verified);
  }
  return untrusted;
}

}  // namespace msiboot_tool
