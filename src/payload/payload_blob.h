#pragma once
// One located payload container: its bytes, its verified manifest and how its records are stored.
#include <cstdint>

enum PayloadFlags : uint32_t {
  kPayloadCompressed = 1,  // every data field is a zlib stream of the record's content
  kPayloadSigned = 2,      // every signature field is an RSA SHA-256 signature over the content
};

struct PayloadBlob {
  uint8_t* data;           // owned local-heap copy of the container
  uint32_t size;
  uint8_t* manifest;       // content of the manifest record, inflated and verified; owned
  uint32_t manifest_size;
  uint32_t flags;          // PayloadFlags
};
