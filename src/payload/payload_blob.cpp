#include "payload/payload_blob.h"

#include "platform/error_codes.h"
#include "platform/heap.h"
#include "shared/grow_array.h"

Status append_blob(PayloadSet& set, const PayloadBlob& blob, uint32_t site) {
  void* grown = grow_array_by_one(set.blobs, set.blob_count, sizeof(PayloadBlob));
  if (grown == nullptr) return last_error_status(kErrorNotEnoughMemory, site);
  set.blobs = static_cast<PayloadBlob*>(grown);
  set.blobs[set.blob_count] = blob;
  ++set.blob_count;
  return status_of(0, site);
}

void free_blobs(PayloadSet& set) {
  for (uint32_t i = 0; i < set.blob_count; ++i) {
    heap_free(set.blobs[i].data);
    heap_free(set.blobs[i].manifest);
  }
  heap_free(set.blobs);
  set.blobs = nullptr;
  set.blob_count = 0;
}
