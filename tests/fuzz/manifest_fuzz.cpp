// Manifest walk and package choice over arbitrary manifests. Input: a language selector byte, a
// split byte (0: one blob; otherwise the first blob's manifest is that many bytes and the rest is
// the second's), then the manifest bytes. Both blobs carry the same small plain container with
// file records 1000 to 1003, so the items have something to find.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "payload/container.h"
#include "payload/item_collection.h"
#include "payload/package_choice.h"
#include "payload/plain_file_name.h"
#include "platform/heap.h"
#include "platform/heap_test.h"
#include "record_faults.h"
#include "test_bytes.h"

namespace {

constexpr uint32_t kLanguages[] = {1033, 1049, 2057, 1031, 66569, 0, 0x409FF, 1041};

const Bytes& plain_container() {
  static const Bytes container = [] {
    using msiboot_test::RecordFault;
    std::vector<msiboot_test::TestRecord> records{{true, 0, Bytes{'m'}, RecordFault::StoredUnsigned}};
    for (uint32_t id = 1000; id <= 1003; ++id) {
      records.push_back({false, id, Bytes(id - 999, 'f'), RecordFault::StoredUnsigned});
    }
    return msiboot_test::lay_out_container(records, {});
  }();
  return container;
}

int count_entry(uint32_t, const ManifestEntry& entry, void* context) {
  for (uint32_t i = 0; i < entry.field_count; ++i) {
    if (entry.units[i].count == 0 || entry.units[i].count > kManifestFieldUnits) abort();
    *static_cast<size_t*>(context) += strlen(entry.fields[i]) + 1;
  }
  return 1;
}

// On Linux the narrow text is UTF-8, where no byte of a longer character is ASCII.
bool names_a_file_inside(const char* name) {
  return name[0] != '\0' && strpbrk(name, "\\/:") == nullptr && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t split = data[1];
  const uint8_t* manifest = data + 2;
  size_t length = size - 2;
  if (split > length) split = length;
  // Exactly sized copies, so that a read past either manifest is caught.
  std::vector<Bytes> manifests;
  if (split == 0) {
    manifests.emplace_back(manifest, manifest + length);
  } else {
    manifests.emplace_back(manifest, manifest + split);
    manifests.emplace_back(manifest + split, manifest + length);
  }
  Bytes container = plain_container();
  std::vector<PayloadBlob> blobs;
  for (Bytes& m : manifests) {
    blobs.push_back({container.data(), static_cast<uint32_t>(container.size()),
                     m.empty() ? nullptr : m.data(), static_cast<uint32_t>(m.size()), 0});
  }

  size_t live = heap_test_live_blocks();
  PayloadSet set = {blobs.data(), static_cast<uint32_t>(blobs.size()), nullptr};
  uint32_t language = kLanguages[data[0] % (sizeof kLanguages / sizeof kLanguages[0])];

  size_t text_bytes = 0;
  walk_manifest(set, count_entry, &text_bytes);

  PackageChoice choice;
  ItemWriter writer = empty_item_writer();
  char message[64];
  Status status = choose_package(set, &language, choice, writer, "corrupt", message, sizeof message);
  if (!status_failed(status)) {
    if (choice.entry_id == 0 || writer.count < 1 || strcmp(writer.items[0].name, "main.msi") != 0) abort();
    if (choice.folder_plain == 0 || !names_a_file_inside(choice.folder)) abort();
    for (int32_t i = 0; i < writer.count; ++i) {
      if (writer.items[i].data == nullptr && writer.items[i].size != 0) abort();
      if (!names_a_file_inside(writer.items[i].name)) abort();
    }
  } else if (status != status_of(13, kSitePackageChoice) || strcmp(message, "corrupt") != 0) {
    abort();
  }
  if (strlen(choice.architecture) >= kManifestFieldSize || strlen(choice.title) >= kManifestFieldSize) abort();
  release_items(writer);
  if (heap_test_live_blocks() != live) abort();
  return 0;
}
