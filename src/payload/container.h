#pragma once
// The payload container: records read from the end towards the start, each a data field, a
// signature field and a 28-byte trailer naming its type, id and the two lengths.
#include <cstdint>

#include "payload/payload_blob.h"
#include "payload/record_binding.h"
#include "shared/status.h"

using RecordType = uint8_t[16];

// {EED5BBF7-1284-4619-918C-F0CB8EE28B55} and {A1248CD9-EF96-436B-92BF-C00BAD727E63} as stored.
extern const RecordType ManifestRecordType;
extern const RecordType FileRecordType;

constexpr uint32_t kRecordTrailerSize = 28;

// The most a manifest record may inflate to: far above any manifest the tool writes (some hundred
// bytes an entry), and a tampered manifest record is refused after at most this much output.
constexpr uint32_t kManifestInflateCap = 1u << 20;

enum ContainerSite : uint32_t {
  kSiteRecordNotFound = 509,
  kSiteManifestInflate = 551,
  kSiteManifestCopy = 566,
  kSiteManifestVerify = 592,
  kSiteManifestKey = 599,
  kSiteFileInSignature = 666,
  kSiteFileInflate = 691,
  kSiteFileCopy = 706,
  kSiteFileVerify = 732,
  kSiteFileKey = 739,
  // A record that is not the one its manifest entry was packed with is corrupt data at the package
  // choice, the one step that reads file records.
  kSiteRecordBinding = 2151,
};

// Where one record's two fields lie within its container.
struct RecordLocation {
  bool manifest;  // manifest record type, else file record type
  uint32_t id;
  uint32_t data_offset;
  uint32_t data_length;
  uint32_t signature_offset;
  uint32_t signature_length;
};

// Called for each record the walk meets; false ends the walk.
using RecordVisitor = bool (*)(const RecordLocation& record, void* context);

// Walks the records from the end of the container, as every lookup does: file records in turn, a
// trailer whose fields do not fit passed over, until the manifest record (visited, then the end),
// a manifest trailer whose fields do not fit, or a trailer of any other type.
void walk_records(const uint8_t* container, uint32_t size, RecordVisitor visit, void* context);

// Finds the record of the given type and id and delivers its content, inflated and verified as
// the blob's flags say, as a new local-heap block the caller frees. A manifest record is inflated
// no further than kManifestInflateCap. On failure *content is null,
// *length 0 and nothing stays allocated. The blob is never changed.
// Signed records are checked against the built-in PayloadPublicKey. In a signed container a file
// record whose data length is 0 (content held in its signature field) is refused as unverifiable.
Status find_record(const PayloadBlob& blob, const RecordType& type, uint32_t id, uint8_t** content,
                   uint32_t* length);

// The same lookup checking signed records against key_blob (a PUBLICKEYBLOB of key_size bytes);
// a null key_blob means the built-in key. Lets tests and tools use a key of their own.
Status find_record_with_key(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                            const uint8_t* key_blob, uint32_t key_size, uint8_t** content,
                            uint32_t* length);

// find_record_with_key for file record id, bound to its manifest entry: the record is inflated no
// further than the binding's size (a longer stream fails as unreadable, 13 at the inflate site)
// and must have exactly its size and SHA-256 (else 13 at kSiteRecordBinding); an absent or
// malformed binding fails at kSiteRecordBinding before the record is looked for.
Status find_bound_record(const PayloadBlob& blob, uint32_t id, const RecordBinding& binding,
                         const uint8_t* key_blob, uint32_t key_size, uint8_t** content,
                         uint32_t* length);

// Makes a blob of block (flags compressed and signed), fills its manifest with find_record against
// the set's key and appends it to set at append_site. On success the set owns block; on failure
// the caller keeps it and nothing else of the blob stays allocated.
Status adopt_container(PayloadSet& set, uint8_t* block, uint32_t size, uint32_t append_site);

// adopt_container on a copy of bytes. A failed copy gives last error or 8 at copy_site.
Status copy_container(PayloadSet& set, const uint8_t* bytes, uint32_t size,
                      uint32_t copy_site, uint32_t append_site);
