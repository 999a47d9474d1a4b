#include "payload/record_stream.h"

#include <zlib.h>

#include "payload/record_checks.h"
#include "platform/content_hash.h"
#include "platform/error_codes.h"
#include "platform/signature.h"

namespace {

// Each piece is hashed and counted before the caller's sink sees it.
struct Delivery {
  StreamedRecord* record;
  ContentHash hash;
  bool hashed;      // the lookup needs the digest
  bool hash_failed;
  bool sink_stopped;
  uint64_t length;
};

bool deliver_piece(const uint8_t* bytes, uint32_t length, void* context) {
  auto* delivery = static_cast<Delivery*>(context);
  if (delivery->hashed && !content_hash_add(&delivery->hash, bytes, length)) {
    delivery->hash_failed = true;
    return false;
  }
  delivery->length += length;
  StreamedRecord& record = *delivery->record;
  if (record.sink != nullptr && !record.sink(bytes, length, record.context)) {
    delivery->sink_stopped = true;
    return false;
  }
  return true;
}

// The data field inflated (or, in an uncompressed blob, taken as it is) into the delivery.
Status deliver_content(const PayloadBlob& blob, const RecordLookup& lookup, uint32_t limit,
                       Delivery& delivery) {
  const uint8_t* data = blob.data + lookup.fields.data_offset;
  uint32_t data_length = lookup.fields.data_length;
  bool delivered = (blob.flags & kPayloadCompressed) == 0
                       ? deliver_piece(data, data_length, &delivery)
                       : inflate_stream(data, data_length, limit, deliver_piece, &delivery) == Z_OK;
  if (delivery.sink_stopped) return status_of(kErrorWriteFault, lookup.sites->copy);
  if (delivery.hash_failed) return status_of(kSignatureMismatch, lookup.sites->verify);
  return status_of(delivered ? 0 : kErrorInvalidData, lookup.sites->inflate);
}

}  // namespace

Status stream_record(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                     const RecordBinding* binding, const uint8_t* key_blob, uint32_t key_size,
                     StreamedRecord& record) {
  record.length = 0;
  RecordLookup lookup = {};
  Status status = begin_lookup(blob, type, id, binding, &lookup);
  if (status_failed(status)) return status;
  uint32_t limit = lookup.limit < record.unbound_cap || binding != nullptr ? lookup.limit
                                                                           : record.unbound_cap;
  Delivery delivery = {&record, {nullptr}, lookup.hashed, false, false, 0};
  if (lookup.hashed && !content_hash_begin(&delivery.hash)) {
    return status_of(kSignatureMismatch, lookup.sites->verify);
  }
  status = deliver_content(blob, lookup, limit, delivery);
  uint8_t digest[kSha256Size] = {};
  if (lookup.hashed && !content_hash_end(&delivery.hash, digest) && !status_failed(status)) {
    status = status_of(kSignatureMismatch, lookup.sites->verify);
  }
  if (status_failed(status)) return status;
  auto length = static_cast<uint32_t>(delivery.length);  // never past the inflate limit
  status = judge_content(blob, lookup, binding, key_blob, key_size, digest, length);
  if (!status_failed(status)) record.length = length;
  return status;
}
