#pragma once
// Reads the running executable whole into one local-heap block, after making sure that the file
// read is the one Windows started.
#include <cstdint>

#include "shared/status.h"

enum OwnFileSite : uint32_t {
  kSiteOwnFileOpen = 2042,
  kSiteOwnFileSize = 2035,
  kSiteOwnFileBuffer = 2030,
  kSiteOwnFileRead = 2023,
  kSiteOwnFileNotImage = 2046,
};

// Reads the file at path, a wide path (the module's own, from get_wide_module_path: a narrow path
// may not spell it, or may spell another file, as "setupA.exe" for "setup\uFF21.exe"). The file
// is opened sharing reading only, so that from then on nobody can write, delete or rename it, and
// must be the very file mapped as this program's image: a program may be renamed while it runs,
// and another file put at its path before it reads itself. Otherwise nothing is read and the
// result is 13 at kSiteOwnFileNotImage. On success *image holds *size bytes the caller frees; on
// failure *image is null.
Status read_own_file(const wchar_t* path, uint8_t** image, uint32_t* size);

// The same reading of any file, without the image check (for the benchmarks' timing).
Status read_whole_file(const wchar_t* path, uint8_t** image, uint32_t* size);
