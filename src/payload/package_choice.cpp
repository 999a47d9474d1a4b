#include "payload/package_choice.h"

#include <string.h>

#include "driver/bootstrap_state.h"
#include "payload/container.h"
#include "platform/bounded_format.h"
#include "platform/heap.h"

namespace {

constexpr int kPackageFields = 4;
constexpr int kCabinetFields = 3;
constexpr char kPackageName[] = "main.msi";
constexpr char kArchitecture[] = "x64";
constexpr char kCabinetType[] = "cab";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(const char* a, const char* b) {
  while (*a != '\0' && lower(*a) == lower(*b)) {
    ++a;
    ++b;
  }
  return lower(*a) == lower(*b);
}

// Fields hold at most 255 characters, so they always fit with their terminator.
void copy_field(ManifestField& to, const ManifestField& from) { memcpy(to, from, strlen(from) + 1); }

bool lists_language(const PackageChoice& choice, const char* languages) {
  uint32_t mask = choice.match_primary != 0 ? 0xFF : 0xFFFF;
  uint32_t wanted = bootstrap_state.language & mask;
  const char* cursor = languages;
  uint32_t listed = 0;
  while (next_listed_number(&cursor, &listed)) {
    if ((listed & mask) == wanted) return true;
  }
  return false;
}

// One more zeroed record at the end of the array; null (the array unchanged) when it cannot grow.
ExtractItem* grow_items(ExtractItem* items, int32_t count) {
  if (count < 0 || count == INT32_MAX) return nullptr;
  size_t bytes = (static_cast<size_t>(count) + 1) * sizeof(ExtractItem);
  void* grown = items == nullptr ? heap_alloc(kHeapZeroInit, bytes)
                                 : heap_realloc(items, bytes, kHeapZeroInit);
  return static_cast<ExtractItem*>(grown);
}

void add_cabinet(CabinetCollector& collector, uint32_t blob_index, uint32_t entry_id,
                 const char* name) {
  ExtractItem* items = grow_items(*collector.items, *collector.count);
  if (items == nullptr) {
    collector.failed = 1;
    return;
  }
  *collector.items = items;
  // The record counts even when it stays empty, so the clean-up sees it.
  if (!extract_item(blob_index, entry_id, items[*collector.count], name)) collector.failed = 1;
  ++*collector.count;
}

void run_pass(PackageChoice& choice, uint32_t match_primary) {
  choice.match_primary = match_primary;
  walk_manifest(select_package_entry, &choice);
}

bool collect_package(const PackageChoice& choice, ItemWriter& writer) {
  ExtractItem* items = grow_items(writer.items, writer.count);
  if (items == nullptr) return false;
  writer.items = items;
  bool filled = extract_item(choice.blob_index, choice.entry_id, items[writer.count], kPackageName);
  if (filled) {
    ++writer.count;
  } else if (writer.count == 0) {
    heap_free(items);
    writer.items = nullptr;
  }
  return filled;
}

bool collect_cabinets(const PackageChoice& choice, ItemWriter& writer) {
  CabinetCollector collector = {&writer.items, &writer.count, choice.blob_index, choice.entry_id,
                                0};
  walk_manifest(collect_cabinet_entry, &collector);
  return collector.failed == 0;
}

}  // namespace

int select_package_entry(uint32_t blob_index, uint32_t entry_id, const char* text, void* context) {
  auto* choice = static_cast<PackageChoice*>(context);
  ManifestField fields[kPackageFields];
  if (choice == nullptr || text == nullptr ||
      split_manifest_fields(text, fields, kPackageFields) != kPackageFields) {
    return 1;
  }
  copy_field(choice->architecture, fields[0]);
  copy_field(choice->languages, fields[1]);
  copy_field(choice->folder, fields[2]);
  copy_field(choice->title, fields[3]);
  if (!lists_language(*choice, choice->languages) ||
      !equals_ignoring_case(choice->architecture, kArchitecture)) {
    return 1;
  }
  choice->blob_index = blob_index;
  choice->entry_id = entry_id;
  return 0;
}

int collect_cabinet_entry(uint32_t blob_index, uint32_t entry_id, const char* text,
                          void* context) {
  auto* collector = static_cast<CabinetCollector*>(context);
  ManifestField fields[kCabinetFields];
  if (collector == nullptr || text == nullptr || blob_index != collector->blob_index ||
      split_manifest_fields(text, fields, kCabinetFields) != kCabinetFields ||
      !equals_ignoring_case(fields[0], kCabinetType)) {
    return 1;
  }
  const char* cursor = fields[1];
  uint32_t listed = 0;
  while (next_listed_number(&cursor, &listed)) {
    if (listed == collector->entry_id) add_cabinet(*collector, blob_index, entry_id, fields[2]);
  }
  return 1;
}

bool extract_item(uint32_t blob_index, uint32_t record_id, ExtractItem& item, const char* name) {
  memset(&item, 0, sizeof item);
  for (uint32_t i = 0; i + 1 < kItemTextSize && name[i] != '\0'; ++i) item.name[i] = name[i];
  if (blob_index >= bootstrap_state.blob_count) return false;
  Status status = find_record(bootstrap_state.blobs[blob_index], FileRecordType, record_id,
                              &item.data, &item.size);
  return !status_failed(status);
}

Status choose_package(PackageChoice& choice, ItemWriter& writer, const char* failure_text,
                      char* message, size_t message_size) {
  memset(&choice, 0, sizeof choice);
  run_pass(choice, 0);
  if (choice.entry_id == 0) run_pass(choice, 1);
  if (choice.entry_id == 0 && bootstrap_state.language != kFallbackLanguage) {
    bootstrap_state.language = kFallbackLanguage;
    run_pass(choice, 0);
  }
  bool collected =
      choice.entry_id != 0 && collect_package(choice, writer) && collect_cabinets(choice, writer);
  if (collected) return status_of(0, kSitePackageChoice);
  bounded_format(message, message_size, "%s", failure_text != nullptr ? failure_text : "");
  return status_of(13, kSitePackageChoice);
}
