#include "authenticode/signature_message.h"

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <climits>
#include <vector>

namespace msiboot_tool {
namespace {

using Bytes = std::vector<uint8_t>;

// One DER element: its header, its content and its end, which ASN1_get_object keeps within the
// bytes it was given.
struct Element {
  const uint8_t* start = nullptr;
  const uint8_t* content = nullptr;
  const uint8_t* end = nullptr;
  int tag = 0, tag_class = 0;
  bool constructed = false;
};

// Reads the element at cursor and moves past it; false for a bad or indefinite-length header.
bool read_element(const uint8_t*& cursor, const uint8_t* end, Element& element) {
  constexpr int kError = 0x80, kIndefinite = 0x01;
  long length = 0;
  element.start = cursor;
  int flags = ASN1_get_object(&cursor, &length, &element.tag, &element.tag_class, end - cursor);
  if ((flags & (kError | kIndefinite)) != 0) return false;
  element.constructed = (flags & V_ASN1_CONSTRUCTED) != 0;
  element.content = cursor;
  element.end = cursor + length;
  cursor = element.end;
  return true;
}

// Appends the header of a constructed element of length content bytes.
bool put_header(Bytes& out, int tag, int tag_class, size_t length) {
  if (length > INT_MAX / 2) return false;
  size_t at = out.size();
  out.resize(at + static_cast<size_t>(ASN1_object_size(1, static_cast<int>(length), tag)) - length);
  unsigned char* cursor = out.data() + at;
  ASN1_put_object(&cursor, 1, static_cast<int>(length), tag, tag_class);
  return true;
}

// The SignedData's elements, its certificate set ([0]) without the large certificates.
bool filtered_signed_data(const uint8_t* cursor, const uint8_t* end, Bytes& out) {
  Element element;
  while (cursor < end) {
    if (!read_element(cursor, end, element)) return false;
    if (element.tag_class != V_ASN1_CONTEXT_SPECIFIC || element.tag != 0 || !element.constructed) {
      out.insert(out.end(), element.start, element.end);
      continue;
    }
    Bytes certificates;
    Element certificate;
    for (const uint8_t* at = element.content; at < element.end;) {
      if (!read_element(at, element.end, certificate)) return false;
      if (static_cast<size_t>(certificate.end - certificate.start) <= kLargestParsedCertificate) {
        certificates.insert(certificates.end(), certificate.start, certificate.end);
      }
    }
    if (!put_header(out, 0, V_ASN1_CONTEXT_SPECIFIC, certificates.size())) return false;
    out.insert(out.end(), certificates.begin(), certificates.end());
  }
  return true;
}

// ContentInfo { type, [0] { SignedData } } re-encoded around the filtered SignedData; empty when
// the bytes do not have that shape in definite-length DER.
Bytes without_large_certificates(const uint8_t* der, size_t length, size_t* used) {
  const uint8_t* cursor = der;
  Element info, type, wrapper, signed_data;
  Bytes inner, out;
  if (!read_element(cursor, der + length, info)) return {};
  *used = static_cast<size_t>(info.end - der);
  cursor = info.content;
  if (!read_element(cursor, info.end, type) || !read_element(cursor, info.end, wrapper)) return {};
  cursor = wrapper.content;
  if (!read_element(cursor, wrapper.end, signed_data) ||
      !filtered_signed_data(signed_data.content, signed_data.end, inner) || inner.size() > INT_MAX / 4) {
    return {};
  }
  const size_t signed_size = static_cast<size_t>(ASN1_object_size(1, static_cast<int>(inner.size()), V_ASN1_SEQUENCE));
  const size_t wrapper_size = static_cast<size_t>(ASN1_object_size(1, static_cast<int>(signed_size), 0));
  if (!put_header(out, V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL, static_cast<size_t>(type.end - type.start) + wrapper_size)) {
    return {};
  }
  out.insert(out.end(), type.start, type.end);
  put_header(out, 0, V_ASN1_CONTEXT_SPECIFIC, signed_size);
  put_header(out, V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL, inner.size());
  out.insert(out.end(), inner.begin(), inner.end());
  return out;
}

}  // namespace

// A message in another shape (BER lengths) is parsed as it is.
OpenSslPtr<PKCS7> parse_signature_message(const uint8_t* der, size_t length, size_t* used) {
  size_t whole = 0;
  const Bytes reduced = without_large_certificates(der, length, &whole);
  const unsigned char* start = reduced.empty() ? der : reduced.data();
  const unsigned char* cursor = start;
  OpenSslPtr<PKCS7> message(d2i_PKCS7(nullptr, &cursor, static_cast<long>(reduced.empty() ? length : reduced.size())));
  ERR_clear_error();
  if (!message || !PKCS7_type_is_signed(message.get()) || message->d.sign == nullptr) return nullptr;
  if (used != nullptr) *used = reduced.empty() ? static_cast<size_t>(cursor - start) : whole;
  return message;
}

}  // namespace msiboot_tool
