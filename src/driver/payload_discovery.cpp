#include "driver/payload_discovery.h"

#include <string.h>

#include "driver/bootstrap_state.h"
#include "payload/container.h"
#include "payload/signature_table.h"
#include "platform/heap.h"
#include "platform/last_error.h"

Status discover_appended_payload(const uint8_t* image, uint32_t size) {
  PayloadBlob blob = {};
  blob.data = static_cast<uint8_t*>(heap_alloc(kHeapFixed, size));
  if (blob.data == nullptr) return make_status(platform_last_error, 8, kSiteFallbackCopy);
  if (size != 0) memcpy(blob.data, image, size);
  blob.size = size;
  blob.flags = kPayloadCompressed | kPayloadSigned;

  Status status = find_record(blob, ManifestRecordType, 0, &blob.manifest, &blob.manifest_size);
  if (!status_failed(status)) status = append_blob(blob, kSiteFallbackAppend);
  if (status_failed(status)) {
    heap_free(blob.manifest);
    heap_free(blob.data);
  }
  return status;
}

Status discover_payload(const uint8_t* image, uint32_t size) {
  Status status = read_signature_table(image, size);
  if (!status_failed(status) && bootstrap_state.blob_count == 0) {
    status = discover_appended_payload(image, size);
  }
  return status;
}
