#include "payload/extract_items.h"

#include <string.h>

#include "platform/heap.h"

void release_item_data(ItemWriter& writer) {
  for (int32_t i = 0; i < writer.count; ++i) {
    heap_free(writer.items[i].data);
    writer.items[i].data = nullptr;
  }
}

void release_items(ItemWriter& writer) {
  release_item_data(writer);
  heap_free(writer.items);
  writer.items = nullptr;
  writer.count = 0;
}
