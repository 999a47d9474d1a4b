// Any file image through the PE header checks, the PKCS#7 certificate walk and the carrier lookup;
// the seeds are signed images with carrier certificates.
#include <cstddef>
#include <cstdint>

#include "payload/signature_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  PayloadSet set = {};
  read_signature_table(set, data, static_cast<uint32_t>(size));
  free_blobs(set);
  return 0;
}
