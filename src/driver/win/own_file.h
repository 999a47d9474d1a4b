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

// Reads the file at path, a wide path (the module's own, from get_wide_module_path: a narrow path
// may not spell it, or may spell another file, as "setupA.exe" for "setup\uFF21.exe"). On success
// *image holds *size bytes the caller frees; on failure *image is null.
Status read_own_file(const wchar_t* path, uint8_t** image, uint32_t* size);
