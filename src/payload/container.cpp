#include "payload/container.h"

#include <string.h>

#include "driver/bootstrap_state.h"
#include "platform/heap.h"
#include "platform/last_error.h"

const RecordType ManifestRecordType = {0xF7, 0xBB, 0xD5, 0xEE, 0x84, 0x12, 0x19, 0x46,
                                       0x91, 0x8C, 0xF0, 0xCB, 0x8E, 0xE2, 0x8B, 0x55};
const RecordType FileRecordType = {0xD9, 0x8C, 0x24, 0xA1, 0x96, 0xEF, 0x6B, 0x43,
                                   0x92, 0xBF, 0xC0, 0x0B, 0xAD, 0x72, 0x7E, 0x63};

Status find_record(const PayloadBlob&, const RecordType&, uint32_t, uint8_t** content,
                   uint32_t* length) {
  // Record lookup is not built yet: every container answers that it has no such record.
  *content = nullptr;
  *length = 0;
  return status_of(1168, kSiteRecordNotFound);
}

Status append_blob(const PayloadBlob& blob, uint32_t site) {
  BootstrapState& state = bootstrap_state;
  size_t bytes = (static_cast<size_t>(state.blob_count) + 1) * sizeof(PayloadBlob);
  void* grown = state.blobs == nullptr ? heap_alloc(kHeapZeroInit, bytes)
                                       : heap_realloc(state.blobs, bytes, kHeapZeroInit);
  if (grown == nullptr) return make_status(platform_last_error, 8, site);
  state.blobs = static_cast<PayloadBlob*>(grown);
  state.blobs[state.blob_count] = blob;
  ++state.blob_count;
  return status_of(0, site);
}
