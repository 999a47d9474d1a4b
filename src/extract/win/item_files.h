#pragma once
// Creating the items' files in the held product folder, rolling a failed attempt back, and
// writing, then re-reading, them one chunk per step so that the progress window can repaint
// between steps.
#include <cstdint>

#include "extract/win/held_folder.h"
#include "payload/extract_items.h"
#include "platform/error_codes.h"

enum WriterStepResult : uint32_t {
  kWriterDone = 0,
  kWriterWriteFailed = kErrorWriteFault,
  kWriterMoreData = kErrorMoreData,
};

// True when a file or folder exists at path.
bool path_exists(const char* path);

// Gives every item its path in the held folder and creates its file for writing, or holds the
// file already there when it holds exactly the item's bytes; any other file there is deleted and
// created anew, by this run. Every file must lie, by its handle's final path, in the held folder.
// On a failure the attempt is rolled back (the files it created deleted, the folder released) and
// false is returned, with the failure's last error.
bool create_item_files(ItemWriter& writer, HeldFolder& folder);

// Does at most one step: a write of at most chunk_size bytes, or, once the item is written, a
// comparison of what its held file holds with the item's bytes, chunk after chunk for up to about
// 16 ms. A written file is closed and held (it must still be the very file created); a held file
// that does not hold the item's bytes is a failed write. Returns kWriterMoreData, kWriterWriteFailed (the same item resumes after
// the bytes that were written) or kWriterDone. percent, when given, receives the current item's
// progress from 0 to 100: writing takes it to 50, comparing to 100.
uint32_t writer_step(ItemWriter& writer, uint32_t* percent);

// Closes every item's file handle that is still open, the held ones among them.
void close_item_files(ItemWriter& writer);

// Deletes the files this run created, through handles: a file still open for writing through
// its own handle; a held file, once every hold is closed, through a handle opened at its path
// that must reach the very file created (see delete_if_same). Nothing else is deleted.
void delete_created_files(ItemWriter& writer);

// The write call of writer_step, WriteFile by default: writes size bytes to the file handle and
// stores the count written; non-zero on success. Tests replace it to force short writes.
using ItemWriteCall = int (*)(void* handle, const uint8_t* data, uint32_t size, uint32_t* written);
extern ItemWriteCall item_write_call;
