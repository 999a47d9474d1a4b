#pragma once
// One located payload container (its bytes, its verified manifest and how its records are stored)
// and the set of them that payload discovery fills.
#include <cstdint>

#include "shared/status.h"

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

// The blobs found so far, in the order they were found. The set owns every blob's blocks and the
// array; append_blob grows it and free_blobs frees it. The stub leaves key_blob null; the tool
// inspects a setup.exe with the key stamped into it.
struct PayloadSet {
  PayloadBlob* blobs;
  uint32_t blob_count;
  const uint8_t* key_blob;  // the PUBLICKEYBLOB records are checked against; null: the built-in key
};

// Appends a copy of blob; on failure (code last error or 8 at site) the set is unchanged and the
// caller still owns the blob's blocks.
Status append_blob(PayloadSet& set, const PayloadBlob& blob, uint32_t site);

// Frees every blob's data and manifest, then the array, and empties the set.
void free_blobs(PayloadSet& set);
