#pragma once
// Finds the payload in the executable's image and fills the blob set.
#include <cstdint>

#include "payload/payload_blob.h"
#include "shared/status.h"

constexpr uint32_t kSiteFallbackAppend = 2001;

// The signature table first, then, when it yielded nothing, the whole image as one container
// (flags compressed and signed) whose manifest must be found and verified. *image is a local-heap
// block: when it becomes that container the set takes it over and *image is set to null, since a
// copy would hold the whole file twice; otherwise the caller still owns it.
Status discover_payload(PayloadSet& set, uint8_t** image, uint32_t size);
