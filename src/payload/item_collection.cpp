#include "payload/item_collection.h"

#include <string.h>

#include "payload/container.h"
#include "payload/payload_public_key.h"
#include "payload/plain_file_name.h"
#include "platform/bounded_format.h"
#include "platform/error_codes.h"
#include "platform/heap.h"
#include "shared/ascii_case.h"
#include "shared/grow_array.h"

namespace {

constexpr char kPackageName[] = "main.msi";

struct CabinetCollector {
  const PayloadSet* payload;  // the blobs whose file records fill the items
  ItemWriter* writer;         // its item array grown as cabinets are added
  uint32_t blob_index;        // the chosen package
  uint32_t entry_id;
  uint32_t failed;            // 1 once a cabinet could not be added or filled
};

// One more zeroed record at the end of the array; null (the array unchanged) when it cannot grow.
ExtractItem* grow_items(ExtractItem* items, int32_t count) {
  if (count < 0 || count == INT32_MAX) return nullptr;
  return static_cast<ExtractItem*>(
      grow_array_by_one(items, static_cast<size_t>(count), sizeof(ExtractItem)));
}

// Zeroes item, names it and fills it with the content of file record record_id of the blob at
// blob_index in the set, checked against the binding of the entry that names it, in the way the
// writer delivers items. False when the record is not delivered (an entry without a binding among
// the reasons) or the name does not fit the item.
bool extract_item(const PayloadSet& payload, const ItemWriter& writer, uint32_t blob_index,
                  uint32_t record_id, const RecordBinding& binding, ExtractItem& item,
                  const char* name) {
  memset(&item, 0, sizeof item);
  // A name cut to fit would name another file.
  if (bounded_format(item.name, sizeof item.name, "%s", name) < 0) return false;
  if (blob_index >= payload.blob_count) return false;
  const PayloadBlob& blob = payload.blobs[blob_index];
  Status status = writer.delivery != nullptr
                      ? writer.delivery(blob, record_id, binding, payload.key_blob, item,
                                        writer.delivery_context)
                      : find_bound_record(blob, record_id, binding, payload.key_blob,
                                          kPayloadPublicKeySize, &item.data, &item.size);
  if (status_failed(status)) return false;
  memcpy(item.digest, binding.digest, sizeof item.digest);
  return true;
}

void add_cabinet(CabinetCollector& collector, uint32_t blob_index, const ManifestEntry& entry) {
  // Joined to the target folder, any other name could lead the elevated write elsewhere; a
  // character converted as '?' would name no file, or another one.
  if (!is_plain_file_name(entry.units[kFieldFile]) || !field_is_exact(entry, kFieldFile)) {
    collector.failed = 1;
    return;
  }
  ItemWriter& writer = *collector.writer;
  ExtractItem* items = grow_items(writer.items, writer.count);
  if (items == nullptr) {
    collector.failed = 1;
    return;
  }
  writer.items = items;
  // The record counts even when it stays empty, so the clean-up sees it.
  if (!extract_item(*collector.payload, writer, blob_index, entry.id, entry.binding,
                    items[writer.count], entry.fields[kFieldFile])) {
    collector.failed = 1;
  }
  ++writer.count;
}

bool collect_package(const PayloadSet& payload, const PackageChoice& choice, ItemWriter& writer) {
  ExtractItem* items = grow_items(writer.items, writer.count);
  if (items == nullptr) return false;
  writer.items = items;
  bool filled = extract_item(payload, writer, choice.blob_index, choice.entry_id, choice.binding,
                             items[writer.count], kPackageName);
  if (filled) {
    ++writer.count;
  } else if (writer.count == 0) {
    heap_free(items);
    writer.items = nullptr;
  }
  return filled;
}

// ManifestCallback over a CabinetCollector: adds an item for each time a cabinet entry of the
// chosen package's blob lists the package's id. Always 1, so every entry is seen.
int collect_cabinet_entry(uint32_t blob_index, const ManifestEntry& entry, void* context) {
  auto* collector = static_cast<CabinetCollector*>(context);
  if (collector == nullptr || blob_index != collector->blob_index || entry.kind != kEntryCabinet) {
    return 1;
  }
  const char* cursor = entry.fields[kFieldPackages];
  uint32_t listed = 0;
  while (next_listed_number(&cursor, &listed)) {
    if (listed == collector->entry_id) add_cabinet(*collector, blob_index, entry);
  }
  return 1;
}

bool collect_cabinets(const PayloadSet& payload, const PackageChoice& choice, ItemWriter& writer) {
  CabinetCollector collector = {&payload, &writer, choice.blob_index, choice.entry_id, 0};
  walk_manifest(payload, collect_cabinet_entry, &collector);
  return collector.failed == 0;
}

// Each content was checked against its binding: equal digests and sizes are equal contents.
bool same_content(const ExtractItem& a, const ExtractItem& b) {
  return a.size == b.size && memcmp(a.digest, b.digest, sizeof a.digest) == 0;
}

// No two items of one name with different contents: one file cannot hold both, and the writer
// would find the second never matching the first.
bool names_are_unambiguous(const ItemWriter& writer) {
  for (int32_t i = 0; i < writer.count; ++i) {
    for (int32_t j = i + 1; j < writer.count; ++j) {
      const ExtractItem& a = writer.items[i];
      const ExtractItem& b = writer.items[j];
      if (equals_ignoring_ascii_case(a.name, b.name) && !same_content(a, b)) return false;
    }
  }
  return true;
}

}  // namespace

Status choose_package(const PayloadSet& payload, uint32_t* language, PackageChoice& choice,
                      ItemWriter& writer, const char* failure_text, char* message,
                      size_t message_size) {
  // The folder name is joined to the Installer folder the same way as the items' names.
  bool collected = choose_package_entry(payload, language, choice) &&
                   choice.folder_plain != 0 && collect_package(payload, choice, writer) &&
                   collect_cabinets(payload, choice, writer) && names_are_unambiguous(writer);
  if (collected) return status_of(0, kSitePackageChoice);
  bounded_format(message, message_size, "%s", failure_text != nullptr ? failure_text : "");
  return status_of(kErrorInvalidData, kSitePackageChoice);
}
