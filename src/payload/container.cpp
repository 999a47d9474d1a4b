#include "payload/container.h"

#include <string.h>

#include "payload/inflate.h"
#include "payload/payload_public_key.h"
#include "payload/record_checks.h"
#include "platform/error_codes.h"
#include "platform/heap.h"
#include "platform/signature.h"
#include "shared/byte_reader.h"

const RecordType ManifestRecordType = {0xF7, 0xBB, 0xD5, 0xEE, 0x84, 0x12, 0x19, 0x46,
                                       0x91, 0x8C, 0xF0, 0xCB, 0x8E, 0xE2, 0x8B, 0x55};
const RecordType FileRecordType = {0xD9, 0x8C, 0x24, 0xA1, 0x96, 0xEF, 0x6B, 0x43,
                                   0x92, 0xBF, 0xC0, 0x0B, 0xAD, 0x72, 0x7E, 0x63};

namespace {

constexpr uint32_t kTrailerIdOffset = 16;
constexpr uint32_t kTrailerSignatureLengthOffset = 20;
constexpr uint32_t kTrailerDataLengthOffset = 24;

constexpr RecordSites kManifestSites = {kSiteManifestInflate, kSiteManifestCopy, kSiteManifestKey,
                                        kSiteManifestVerify};
constexpr RecordSites kFileSites = {kSiteFileInflate, kSiteFileCopy, kSiteFileKey, kSiteFileVerify};

bool same_type(const uint8_t* a, const RecordType& b) { return memcmp(a, b, sizeof b) == 0; }

// The lookup's wish and what it found.
struct WantedRecord {
  bool manifest;
  uint32_t id;
  bool found;
  RecordLocation location;
};

// A manifest record decides the lookup whatever is asked for; file records are passed over until
// the one asked for.
bool match_record(const RecordLocation& record, void* context) {
  auto* wanted = static_cast<WantedRecord*>(context);
  if (record.manifest || (!wanted->manifest && record.id == wanted->id)) {
    wanted->found = record.manifest == wanted->manifest && record.id == wanted->id;
    wanted->location = record;
    return false;
  }
  return true;
}

bool locate_record(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                   RecordLocation* location) {
  WantedRecord wanted = {same_type(type, ManifestRecordType), id, false, {}};
  if (!wanted.manifest && !same_type(type, FileRecordType)) return false;
  walk_records(blob.data, blob.size, match_record, &wanted);
  *location = wanted.location;
  return wanted.found;
}

Status copy_field(const uint8_t* field, uint32_t length, uint32_t site, uint8_t** block) {
  *block = static_cast<uint8_t*>(heap_alloc(kHeapFixed, length));
  if (*block == nullptr) return last_error_status(kErrorNotEnoughMemory, site);
  if (length != 0) memcpy(*block, field, length);
  return status_of(0, site);
}

// The record's content as a new block: its data field inflated, no further than limit, or copied
// as the flags say.
Status unpack_record(const PayloadBlob& blob, const RecordLookup& lookup, uint8_t** block,
                     uint32_t* length) {
  const RecordLocation& fields = lookup.fields;
  const uint8_t* data = blob.data + fields.data_offset;
  if ((blob.flags & kPayloadCompressed) == 0) {
    *length = fields.data_length;
    return copy_field(data, fields.data_length, lookup.sites->copy, block);
  }
  // Every zlib failure reads as unreadable data; the zlib code itself is not passed on.
  if (inflate_buffer(block, length, data, fields.data_length, lookup.limit) != 0) {
    return status_of(kErrorInvalidData, lookup.sites->inflate);
  }
  return status_of(0, lookup.sites->inflate);
}

// Checks the content's digest against the record's signature field with the given key, or with
// the built-in key, built afresh for this one check, when none is given.
Status verify_content(const uint8_t* digest, const uint8_t* signature, uint32_t signature_length,
                      const uint8_t* key_blob, uint32_t key_size, const RecordSites& sites) {
  uint8_t built_in[kPayloadPublicKeySize];
  if (key_blob == nullptr) {
    build_payload_public_key(built_in);
    key_blob = built_in;
    key_size = kPayloadPublicKeySize;
  }
  uint32_t code = verify_digest_signature(key_blob, key_size, digest, signature, signature_length);
  return status_of(code, code == kSignatureKeyNotDecoded ? sites.key : sites.verify);
}

// The content as the binding says it must be: its size and its SHA-256.
bool matches_binding(const RecordBinding& binding, uint32_t length, const uint8_t* digest) {
  return length == binding.size && memcmp(digest, binding.digest, kContentDigestSize) == 0;
}

// The lookup with an optional binding (null: none).
Status find_checked_record(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                           const RecordBinding* binding, const uint8_t* key_blob,
                           uint32_t key_size, uint8_t** content, uint32_t* length) {
  *content = nullptr;
  *length = 0;
  RecordLookup lookup = {};
  Status status = begin_lookup(blob, type, id, binding, &lookup);
  uint8_t* block = nullptr;
  uint32_t block_length = 0;
  uint8_t digest[kSha256Size];
  if (!status_failed(status)) status = unpack_record(blob, lookup, &block, &block_length);
  if (!status_failed(status) && lookup.hashed && !content_sha256(block, block_length, digest)) {
    status = status_of(kSignatureMismatch, lookup.sites->verify);
  }
  if (!status_failed(status)) {
    status = judge_content(blob, lookup, binding, key_blob, key_size, digest, block_length);
  }
  if (status_failed(status)) {
    heap_free(block);
    return status;
  }
  *content = block;
  *length = block_length;
  return status;
}

}  // namespace

Status begin_lookup(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                    const RecordBinding* binding, RecordLookup* lookup) {
  // An entry without its binding could name any record signed with the key.
  if (binding != nullptr && binding->state != kBindingPresent) {
    return status_of(kErrorInvalidData, kSiteRecordBinding);
  }
  if (!locate_record(blob, type, id, &lookup->fields)) {
    return status_of(kErrorNotFound, kSiteRecordNotFound);
  }
  bool is_file = same_type(type, FileRecordType);
  bool is_signed = (blob.flags & kPayloadSigned) != 0;
  lookup->sites = is_file ? &kFileSites : &kManifestSites;
  lookup->limit = binding != nullptr ? binding->size : is_file ? UINT32_MAX : kManifestInflateCap;
  lookup->hashed = is_signed || binding != nullptr;
  // Content held in the signature field could never be verified: refuse it.
  if (is_signed && is_file && lookup->fields.data_length == 0) {
    return status_of(kSignatureMismatch, lookup->sites->verify);
  }
  return status_of(0, kSiteRecordNotFound);
}

Status judge_content(const PayloadBlob& blob, const RecordLookup& lookup,
                     const RecordBinding* binding, const uint8_t* key_blob, uint32_t key_size,
                     const uint8_t* digest, uint32_t length) {
  Status status = status_of(0, lookup.sites->verify);
  if ((blob.flags & kPayloadSigned) != 0) {
    status = verify_content(digest, blob.data + lookup.fields.signature_offset,
                            lookup.fields.signature_length, key_blob, key_size, *lookup.sites);
  }
  if (!status_failed(status) && binding != nullptr && !matches_binding(*binding, length, digest)) {
    status = status_of(kErrorInvalidData, kSiteRecordBinding);
  }
  return status;
}

// Every subtraction is made only after a test shows it cannot go below 0.
void walk_records(const uint8_t* container, uint32_t size, RecordVisitor visit, void* context) {
  uint32_t end = size;
  while (end >= kRecordTrailerSize) {
    end -= kRecordTrailerSize;
    const uint8_t* trailer = container + end;
    RecordLocation record = {};
    record.id = read_u32le(trailer + kTrailerIdOffset);
    record.signature_length = read_u32le(trailer + kTrailerSignatureLengthOffset);
    record.data_length = read_u32le(trailer + kTrailerDataLengthOffset);
    record.manifest = memcmp(trailer, ManifestRecordType, sizeof(RecordType)) == 0;
    if (!record.manifest && memcmp(trailer, FileRecordType, sizeof(RecordType)) != 0) return;
    // A signature field that does not fit: the next trailer is read from just before this one
    // (for the manifest record, the end of the walk).
    if (record.signature_length > end) {
      if (record.manifest) return;
      continue;
    }
    record.signature_offset = end - record.signature_length;
    // A data field that does not fit: the walk goes on from the signature field's start.
    if (record.data_length > record.signature_offset) {
      if (record.manifest) return;
      end = record.signature_offset;
      continue;
    }
    record.data_offset = record.signature_offset - record.data_length;
    end = record.data_offset;
    if (!visit(record, context) || record.manifest) return;
  }
}

Status find_record_with_key(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                            const uint8_t* key_blob, uint32_t key_size, uint8_t** content,
                            uint32_t* length) {
  return find_checked_record(blob, type, id, nullptr, key_blob, key_size, content, length);
}

Status find_bound_record(const PayloadBlob& blob, uint32_t id, const RecordBinding& binding,
                         const uint8_t* key_blob, uint32_t key_size, uint8_t** content,
                         uint32_t* length) {
  return find_checked_record(blob, FileRecordType, id, &binding, key_blob, key_size, content,
                             length);
}

Status find_record(const PayloadBlob& blob, const RecordType& type, uint32_t id, uint8_t** content,
                   uint32_t* length) {
  return find_record_with_key(blob, type, id, nullptr, 0, content, length);
}

Status adopt_container(PayloadSet& set, uint8_t* block, uint32_t size, uint32_t append_site) {
  PayloadBlob blob = {};
  blob.flags = kPayloadCompressed | kPayloadSigned;
  blob.size = size;
  blob.data = block;
  Status status = find_record_with_key(blob, ManifestRecordType, 0, set.key_blob,
                                       kPayloadPublicKeySize, &blob.manifest, &blob.manifest_size);
  if (!status_failed(status)) status = append_blob(set, blob, append_site);
  if (status_failed(status)) heap_free(blob.manifest);
  return status;
}

Status copy_container(PayloadSet& set, const uint8_t* bytes, uint32_t size, uint32_t copy_site,
                      uint32_t append_site) {
  auto* copy = static_cast<uint8_t*>(heap_alloc(kHeapFixed, size));
  if (copy == nullptr) return last_error_status(kErrorNotEnoughMemory, copy_site);
  if (size != 0) memcpy(copy, bytes, size);
  Status status = adopt_container(set, copy, size, append_site);
  if (status_failed(status)) heap_free(copy);
  return status;
}
