#pragma once
// Reads the running executable whole into one local-heap block.
#include <cstdint>

#include "shared/status.h"

enum OwnFileSite : uint32_t {
  kSiteOwnFileOpen = 2042,
  kSiteOwnFileSize = 2035,
  kSiteOwnFileBuffer = 2030,
  kSiteOwnFileRead = 2023,
};

// On success *image holds *size bytes the caller frees; on failure *image is null.
Status read_own_file(const char* path, uint8_t** image, uint32_t* size);
