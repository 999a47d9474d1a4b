#include "payload/manifest.h"

#include <string.h>

#include "shared/byte_reader.h"

namespace {

constexpr uint32_t kEntryHeaderSize = 8;  // id and text length

// Walks one blob's entries; false when the whole walk must end.
bool walk_blob(uint32_t index, const PayloadBlob& blob, ManifestCallback callback,
               void* context) {
  uint32_t position = 0;
  while (position < blob.manifest_size) {
    uint32_t left = blob.manifest_size - position;
    if (left < kEntryHeaderSize) return false;
    const uint8_t* entry = blob.manifest + position;
    uint32_t length = read_u32le(entry + 4);
    if (length > left - kEntryHeaderSize) return false;
    ManifestEntry read;
    read_manifest_entry(read_u32le(entry), entry + kEntryHeaderSize, length, read);
    if (callback(index, read, context) == 0) return false;
    position += kEntryHeaderSize + length;  // stays within the manifest: checked above
  }
  return true;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a number from the start of p the way "%u" does; false when there is none.
bool read_number(const char* p, uint32_t* number) {
  while (is_space(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (!is_digit(*p)) return false;
  uint64_t value = 0;
  for (; is_digit(*p); ++p) {
    if (value <= UINT32_MAX) value = value * 10 + static_cast<uint64_t>(*p - '0');
  }
  uint32_t magnitude = value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
  *number = negative ? 0u - magnitude : magnitude;
  return true;
}

}  // namespace

void walk_manifest(const PayloadSet& set, ManifestCallback callback, void* context) {
  for (uint32_t i = 0; i < set.blob_count; ++i) {
    if (!walk_blob(i, set.blobs[i], callback, context)) return;
  }
}

bool next_listed_number(const char** cursor, uint32_t* number) {
  const char* item = *cursor;
  bool found = false;
  while (item != nullptr && !found) {
    const char* separator = strchr(item, ';');
    found = read_number(item, number);
    item = separator != nullptr ? separator + 1 : nullptr;
  }
  *cursor = item;
  return found;
}
