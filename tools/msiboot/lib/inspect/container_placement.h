#pragma once
// Where the stub finds a container at the end of a setup.exe, and the container that signing
// after packing cut off from the end of the file.
#include <cstdint>

#include "pe/placement.h"

namespace msiboot_tool {

// The placement of a container that the stub reads from the end of the file and whose first
// record starts at start: inside the certificate-table entry it follows the signature data.
Placement end_placement(const uint8_t* image, uint32_t size, uint32_t start);

// A container whose records end where the certificate table begins (but for the table's
// alignment): the file was signed after the container was appended, and the stub, reading from
// the file's end, meets the signature instead. Gives the container's first and last byte + 1.
bool container_before_signature(const uint8_t* image, uint32_t size, uint32_t* start, uint32_t* end);

// Where the records that end at end start, walked back as the stub walks them: false when there
// are none. *manifest tells whether the walk reached the manifest record, the container's first.
bool container_start(const uint8_t* image, uint32_t end, uint32_t* start, bool* manifest);

}  // namespace msiboot_tool
