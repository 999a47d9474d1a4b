#include "extract/extract_item.h"

#include "platform/heap.h"

void release_items(ItemWriter& writer) {
  for (int32_t i = 0; i < writer.count; ++i) {
    heap_free(writer.items[i].data);
    writer.items[i].data = nullptr;
  }
  heap_free(writer.items);
  writer.items = nullptr;
  writer.count = 0;
}
