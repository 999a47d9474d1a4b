#pragma once
// The signature-table reader: finds the Authenticode certificate table through the PE headers and
// turns every carrier extension of the signature's certificates into a payload blob.
#include <cstdint>

#include "payload/payload_blob.h"
#include "platform/certificate_set.h"
#include "shared/status.h"

// The system's message decoder refuses a signature of this size or more, carrier certificates
// included, as an ASN.1 value too large: the whole message stays below it.
constexpr uint32_t kSignatureMessageLimit = 64u << 20;

// Dotted identifier of the private, non-critical extension whose value is one whole container.
extern const char PayloadExtensionOid[];

enum SignatureTableSite : uint32_t {
  kSiteSignatureTable = 789,
  kSiteMessageOpen = 831,
  kSiteMessageUpdate = 837,
  kSiteCertificateCount = 846,
  kSiteCertificateSize = 937,
  kSiteCertificateMemory = 932,
  kSiteCertificateFetch = 924,
  kSiteCertificateParse = 919,
  kSiteCarrierMemory = 907,
  kSiteCarrierAppend = 892,
};

enum CertificateTableState : uint32_t {
  kCertificateTableUsable = 0,
  kCertificateTableTooShort = 1,  // shorter than an entry's header
  kCertificateTablePastEnd = 2,   // reaching past the end of the image
  kCertificateEntryOutside = 3,   // its first entry shorter than its own header or longer than the table
};

// Checks the certificate table of table_size bytes at offset in the image of size bytes, and the
// length of its first WIN_CERTIFICATE entry, which *entry_length receives when the table is
// usable. Sums are taken in 64 bits, so that no header value can wrap a bound.
uint32_t check_certificate_table(const uint8_t* image, uint64_t size, uint64_t offset, uint32_t table_size,
                                 uint32_t* entry_length);

// The content of the image's first WIN_CERTIFICATE entry (the PKCS#7 message and whatever follows
// it inside the entry), or false when the PE32+ headers show no usable certificate table.
bool find_signature_entry(const uint8_t* image, uint32_t size, const uint8_t** content,
                          uint32_t* length);

// One carrier extension: where the walk found it and its value, one whole container.
struct Carrier {
  uint32_t certificate;  // index in the signature's certificate set
  uint32_t extension;    // index among the certificate's extensions
  const uint8_t* value;
  uint32_t length;
};

// Called for each carrier; a failed status ends the walk with it.
using CarrierVisitor = Status (*)(const Carrier& carrier, void* context);

// Walks the carrier extensions of the image's signature, in certificate then extension order, as
// the stub reads them. Code 0 means the headers showed no usable table or the whole certificate
// set was walked; any other code is the first failure, of the walk or of visit.
Status walk_carriers(const uint8_t* image, uint32_t size, CarrierVisitor visit, void* context);

// Appends to set one blob per carrier extension, in certificate then extension order. Code 0 means the
// headers showed no usable table or the whole certificate set was walked; any other code is the
// first failure, and the blobs appended before it stay. The image is never changed.
Status read_signature_table(PayloadSet& set, const uint8_t* image, uint32_t size);
