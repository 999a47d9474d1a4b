#include "shared/grow_array.h"

#include <stdint.h>

#include "platform/error_codes.h"
#include "platform/heap.h"
#include "platform/last_error.h"

void* grow_array_by_one(void* array, size_t count, size_t record_size) {
  if (record_size == 0 || count >= SIZE_MAX / record_size - 1) {
    platform_set_last_error(kErrorNotEnoughMemory);
    return nullptr;
  }
  size_t bytes = (count + 1) * record_size;
  return array == nullptr ? heap_alloc(kHeapZeroInit, bytes)
                          : heap_realloc(array, bytes, kHeapZeroInit);
}
