// The tool library's carrier certificates and certificate-table placement, checked with OpenSSL
// and osslsigncode rather than with the reader they feed.
#include <gtest/gtest.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "authenticode/carrier_certificate.h"
#include "payload/signature_table.h"
#include "files/output_file.h"
#include "pe/certificate_table.h"
#include "pe/written_checksum.h"
#include "test_bytes.h"
#include "test_files.h"
#include "test_signing.h"

namespace {

using namespace msiboot_tool;
using namespace msiboot_test;

Bytes bytes_of(const char* text) { return Bytes(text, text + strlen(text)); }

struct Extension {
  std::string identifier;
  bool critical;
  Bytes value;
  bool operator==(const Extension&) const = default;
};

std::vector<Extension> extensions_of(const Bytes& der) {
  const unsigned char* p = der.data();
  OpenSslPtr<X509> certificate(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  EXPECT_TRUE(certificate);
  std::vector<Extension> out;
  if (!certificate) return out;
  for (int i = 0; i < X509_get_ext_count(certificate.get()); ++i) {
    X509_EXTENSION* e = X509_get_ext(certificate.get(), i);
    char id[128];
    OBJ_obj2txt(id, sizeof(id), X509_EXTENSION_get_object(e), 1);
    const ASN1_OCTET_STRING* v = X509_EXTENSION_get_data(e);
    out.push_back({id, X509_EXTENSION_get_critical(e) > 0,
                   Bytes(ASN1_STRING_get0_data(v), ASN1_STRING_get0_data(v) + ASN1_STRING_length(v))});
  }
  return out;
}

// The DER certificates of the signature in the image's first certificate entry.
std::vector<Bytes> signature_certificates(const Bytes& image) {
  CertificateTable table = locate_certificate_table(image);
  const unsigned char* p = image.data() + table.offset + 8;
  PKCS7* message = d2i_PKCS7(nullptr, &p, table.first_entry_length - 8);
  EXPECT_NE(message, nullptr);
  std::vector<Bytes> out;
  if (message == nullptr) return out;
  STACK_OF(X509)* certs = message->d.sign->cert;
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    unsigned char* der = nullptr;
    int n = i2d_X509(sk_X509_value(certs, i), &der);
    out.emplace_back(der, der + n);
    OPENSSL_free(der);
  }
  PKCS7_free(message);
  return out;
}

class SignatureTooling : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { signed_image_ = new Bytes(sign_with_test_signer(minimal_pe32plus_image())); }
  static void TearDownTestSuite() { delete signed_image_; }
  static const Bytes& signed_image() { return *signed_image_; }
  CertificateIssuer ca_ = load_test_ca();

 private:
  static Bytes* signed_image_;
};
Bytes* SignatureTooling::signed_image_ = nullptr;

TEST_F(SignatureTooling, CarrierCertificateHoldsTheExtensionsAsGiven) {
  const std::string ours = PayloadExtensionOid;
  const std::vector<ExtensionEntry> entries = {
      carrier_extension(bytes_of("first container")),
      {ours, true, bytes_of("critical")},
      {ours + ".7", false, bytes_of("prefix")},
      carrier_extension(Bytes(70000, 0x5A)),  // a long value needs a long DER length
  };
  Bytes der = make_carrier_certificate(entries, ca_);
  std::vector<Extension> expected;
  for (const ExtensionEntry& s : entries) expected.push_back({s.identifier, s.critical, s.value});
  EXPECT_EQ(extensions_of(der), expected);
  EXPECT_EQ(make_carrier_certificate(entries, ca_), der) << "not deterministic";

  // Issued and signed by the CA.
  const unsigned char* p = der.data();
  OpenSslPtr<X509> certificate(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  EXPECT_EQ(X509_verify(certificate.get(), X509_get0_pubkey(ca_.certificate.get())), 1);
  EXPECT_EQ(X509_NAME_cmp(X509_get_issuer_name(certificate.get()),
                          X509_get_subject_name(ca_.certificate.get())),
            0);
}

TEST_F(SignatureTooling, AddedCarriersKeepTheSignatureValid) {
  ASSERT_TRUE(verifies_with_test_ca(signed_image()));
  const std::vector<Bytes> before = signature_certificates(signed_image());
  const Bytes one = make_carrier_certificate(bytes_of("one"), ca_);
  const Bytes two = make_carrier_certificate(bytes_of("two"), ca_);

  Bytes image = add_signature_certificates(signed_image(), {one, two});
  EXPECT_TRUE(verifies_with_test_ca(image));
  std::vector<Bytes> expected = before;
  expected.push_back(one);
  expected.push_back(two);
  EXPECT_EQ(signature_certificates(image), expected);

  CertificateTable table = locate_certificate_table(image);
  EXPECT_EQ(table.size % 8, 0u);
  EXPECT_EQ(table.first_entry_length, table.size);
  EXPECT_EQ(size_t{table.offset} + table.size, image.size());
  // Everything before the table but the checksum and the directory entry is untouched.
  for (size_t i = 0; i < table.offset; ++i) {
    bool rewritten = (i >= table.checksum_field && i < table.checksum_field + 4) ||
                     (i >= table.directory_field && i < table.directory_field + 8);
    if (!rewritten) {
      ASSERT_EQ(image[i], signed_image()[i]) << "byte " << i;
    }
  }
}

TEST_F(SignatureTooling, ContainerInsideTheEntryEndsTheFile) {
  const Bytes container = bytes_of("container bytes that end the file");
  Bytes image = append_in_certificate_entry(signed_image(), container);
  CertificateTable table = locate_certificate_table(image);
  EXPECT_EQ(table.first_entry_length, table.size);
  EXPECT_EQ(size_t{table.offset} + table.size, image.size());
  EXPECT_EQ(table.size % 8, 0u);
  EXPECT_TRUE(std::equal(container.begin(), container.end(), image.end() - container.size()));
  EXPECT_EQ(signature_certificates(image), signature_certificates(signed_image()));
  EXPECT_TRUE(verifies_with_test_ca(image));
}

// Streamed into a file in small writes, whatever padding its size needs and however many pieces
// moving it takes, the container makes the same file as in memory.
TEST_F(SignatureTooling, StreamedContainerMakesTheSameFile) {
  const std::string dir = scratch_dir("entry-stream");
  for (size_t size : {0, 1, 2, 3, 4, 5, 6, 7, 8, (1 << 20) + 3, (2 << 20) + 6}) {
    SCOPED_TRACE(size);
    const Bytes container = incompressible_bytes(size, static_cast<uint32_t>(size));
    OutputFile out(dir + "/setup.exe");
    CertificateEntryStream stream(out, signed_image());
    for (size_t at = 0; at < size; at += 4099) stream.write(container.data() + at, std::min<size_t>(4099, size - at));
    stream.finish();
    write_pe_checksum(out);
    Bytes written(stream.finished_size() + 1);
    written.resize(out.read_back(0, written.data(), written.size()));
    EXPECT_TRUE(written == append_in_certificate_entry(signed_image(), container));
  }
}

TEST_F(SignatureTooling, RefusesWhatItCannotPlaceSafely) {
  Bytes unsigned_image = minimal_pe32plus_image();
  EXPECT_THROW(locate_certificate_table(unsigned_image), std::runtime_error);
  EXPECT_THROW(add_signature_certificates(unsigned_image, {}), std::runtime_error);

  Bytes pe32 = signed_image();
  pe32[get_u32le(pe32, 0x3C) + 24] = 0x0B;
  pe32[get_u32le(pe32, 0x3C) + 25] = 0x01;
  EXPECT_THROW(locate_certificate_table(pe32), std::runtime_error);

  // Re-encoding would drop a container that follows the message inside the entry.
  Bytes with_container = append_in_certificate_entry(signed_image(), bytes_of("payload"));
  EXPECT_THROW(add_signature_certificates(with_container, {}), std::runtime_error);

  Bytes not_at_end = signed_image();
  not_at_end.push_back(0);
  EXPECT_THROW(append_in_certificate_entry(not_at_end, bytes_of("x")), std::runtime_error);
}

}  // namespace
