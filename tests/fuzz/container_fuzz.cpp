// Record lookup and whole-buffer inflation over arbitrary containers. Input: a control byte, then
// the container. Control bits 0-1 are the blob's flags (compressed 1, signed 2), bit 2 asks for
// the manifest instead of a file record, bits 4-7 pick the file id (1000 + n), and bit 3 also
// inflates the container bytes as one zlib stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "payload/container.h"
#include "payload/inflate.h"
#include "platform/heap.h"
#include "platform/heap_test.h"

namespace {

void check_no_leak(size_t live_before) {
  if (heap_test_live_blocks() != live_before) abort();
}

void look_up(const uint8_t* bytes, uint32_t size, uint8_t control) {
  PayloadBlob blob = {};
  blob.data = const_cast<uint8_t*>(bytes);
  blob.size = size;
  blob.flags = control & 3u;
  bool manifest = (control & 4u) != 0;
  uint8_t* content = nullptr;
  uint32_t length = 0;
  Status status = manifest ? find_record(blob, ManifestRecordType, 0, &content, &length)
                           : find_record(blob, FileRecordType, 1000u + (control >> 4), &content,
                                         &length);
  if (status_failed(status) != (content == nullptr)) abort();
  // Stored content is a copy of a field of the container, so it cannot be longer.
  if ((blob.flags & kPayloadCompressed) == 0 && length > size) abort();
  if (length != 0) {
    volatile uint8_t last = content[length - 1];  // the whole content must be readable
    (void)last;
  }
  heap_free(content);
}

void inflate_whole(const uint8_t* bytes, uint32_t size) {
  uint8_t* block = nullptr;
  uint32_t length = 0;
  int rc = inflate_buffer(&block, &length, bytes, size);
  if ((rc == 0) != (block != nullptr)) abort();
  if (length != 0) {
    volatile uint8_t last = block[length - 1];
    (void)last;
  }
  heap_free(block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > UINT32_MAX) return 0;
  uint8_t control = data[0];
  const uint8_t* bytes = data + 1;
  uint32_t length = static_cast<uint32_t>(size - 1);
  size_t live = heap_test_live_blocks();
  look_up(bytes, length, control);
  check_no_leak(live);
  if ((control & 8u) != 0) {
    inflate_whole(bytes, length);
    check_no_leak(live);
  }
  return 0;
}
