#pragma once
// The files to extract and the writer state over them. The package choice fills the items on
// Linux too; creating and writing their files is the Windows file work in win/item_files.h.
#include <cstdint>

#include "payload/payload_blob.h"
#include "payload/record_binding.h"
#include "shared/status.h"

constexpr uint32_t kItemTextSize = 261;      // 260 characters and the terminating NUL
constexpr uint32_t kWriterChunkSize = 0x80000;

// What tells a file from any other that may later take its name: its volume's serial number,
// its file index and the creation time the system reports (wine reuses file indexes at once and
// reports the time of the last change instead, so the identity is read when the file has its
// final bytes).
struct FileIdentity {
  uint64_t index;
  uint64_t time;
  uint32_t volume;
};

struct ExtractItem {
  char name[kItemTextSize];  // "main.msi" or the cabinet's file name
  uint8_t* data;             // the verified file content; owned local-heap block (null when a
                             // delivery passed it on)
  uint32_t size;
  uint8_t digest[kContentDigestSize];  // the content's SHA-256 once delivered (as its entry's
                                       // binding names it); zeros before
  void* handle;              // open target file; null before creation, for a kept file, when done
  void* held;                // read handle denying others writing and deletion, from the moment
                             // the file holds data until the installer has exited; else null
  uint32_t written;          // bytes of data written so far, never above size
  uint32_t checked;          // bytes of the held file compared with data so far
  FileIdentity identity;     // the held file's, once it is held: the clean-up, which must reach
                             // it again by its path, deletes only this very file
  bool created;              // the file was created by this run: only such files are deleted
  char path[kItemTextSize];  // target folder, a backslash and name
};

// Fills item (named, zeroed otherwise) with the content of file record record_id of blob, checked
// against binding and key_blob: the tool's way of taking a chosen item, which passes the content
// on as it inflates instead of holding it. Null in the stub, which holds every content.
using ItemDelivery = Status (*)(const PayloadBlob& blob, uint32_t record_id,
                                const RecordBinding& binding, const uint8_t* key_blob,
                                ExtractItem& item, void* context);

struct ItemWriter {
  ExtractItem* items;  // grown one record at a time by the package choice; owned
  int32_t count;
  int32_t current;     // -1 before the first step, count once every item is written
  uint32_t chunk_size; // largest single write
  uintptr_t timer_id;  // the progress window's timer
  ItemDelivery delivery;   // null: find_bound_record into item.data
  void* delivery_context;
};

// A writer with no items, before its first step.
inline ItemWriter empty_item_writer() {
  ItemWriter writer = {};
  writer.current = -1;
  writer.chunk_size = kWriterChunkSize;
  return writer;
}


// Frees every item's data, keeping the records (names, paths, handles): once the files are
// written, the contents are no longer needed.
void release_item_data(ItemWriter& writer);

// Frees every item's data and the array, and zeroes the count. File handles are not touched:
// whoever opened them closes them first (close_item_files on Windows).
void release_items(ItemWriter& writer);
