#include "payload/payload_discovery.h"

#include "payload/container.h"
#include "payload/signature_table.h"

Status discover_payload(PayloadSet& set, uint8_t** image, uint32_t size) {
  Status status = read_signature_table(set, *image, size);
  if (!status_failed(status) && set.blob_count == 0) {
    // The whole file as one container, found from its end.
    status = adopt_container(set, *image, size, kSiteFallbackAppend);
    if (!status_failed(status)) *image = nullptr;
  }
  return status;
}
