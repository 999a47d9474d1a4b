#include "driver/payload_discovery.h"

#include "driver/bootstrap_state.h"
#include "payload/container.h"
#include "payload/signature_table.h"

Status discover_payload(const uint8_t* image, uint32_t size) {
  Status status = read_signature_table(image, size);
  if (!status_failed(status) && bootstrap_state.blob_count == 0) {
    // The whole file as one container, found from its end.
    status = add_container_blob(image, size, kSiteFallbackCopy, kSiteFallbackAppend);
  }
  return status;
}
