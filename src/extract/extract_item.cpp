#include "extract/extract_item.h"

#include <string.h>

#include "platform/heap.h"

bool is_plain_file_name(const char* name) {
  if (name == nullptr || name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
    return false;
  }
  for (const char* p = name; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

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
