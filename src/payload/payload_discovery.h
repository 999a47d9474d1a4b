#pragma once
// Finds the payload in the executable's image and fills the blob set.
#include <cstdint>

#include "payload/payload_blob.h"
#include "shared/status.h"

enum DiscoverySite : uint32_t {
  kSiteFallbackCopy = 2016,
  kSiteFallbackAppend = 2001,
};

// The signature table first, then, when it yielded nothing, the whole image as one container
// (flags compressed and signed) whose manifest must be found and verified.
Status discover_payload(PayloadSet& set, const uint8_t* image, uint32_t size);
