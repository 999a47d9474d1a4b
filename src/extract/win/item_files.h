#pragma once
// Creating the items' files in the target folder, rolling a failed attempt back, and writing
// them one chunk per step so that the progress window can repaint between writes.
#include <cstdint>

#include "payload/extract_items.h"
#include "shared/error_codes.h"

enum WriterStepResult : uint32_t {
  kWriterDone = 0,
  kWriterWriteFailed = kErrorWriteFault,
  kWriterMoreData = kErrorMoreData,
};

// True when a file or folder exists at path.
bool path_exists(const char* path);

// Gives every item its path in folder (no trailing backslash) and creates its file for writing. A
// file already there is kept, held, only when it holds exactly the item's bytes; any other file is
// deleted and created anew, and counts as created by this attempt. On a failure the attempt is
// rolled back and false is returned.
bool create_item_files(ItemWriter& writer, const char* folder);

// Undoes create_item_files after item failed could not be created: closes and deletes the files
// this attempt opened, lets go of the files that were there before, clears every item's handle,
// written count and path, and removes folder if it is left empty. Names, data and sizes stay for
// the next folder.
void roll_back_item_files(ItemWriter& writer, const char* folder, int32_t failed);

// Does at most one write of at most chunk_size bytes. A written file is closed and held; a file
// that no longer holds the item's bytes then is a failed write. Returns kWriterMoreData,
// kWriterWriteFailed (the same item resumes after the bytes that were written) or kWriterDone.
// percent, when given, receives the current item's progress from 0 to 100.
uint32_t writer_step(ItemWriter& writer, uint32_t* percent);

// Closes every item's file handle that is still open, the held ones among them.
void close_item_files(ItemWriter& writer);

// The write call of writer_step, WriteFile by default: writes size bytes to the file handle and
// stores the count written; non-zero on success. Tests replace it to force short writes.
using ItemWriteCall = int (*)(void* handle, const uint8_t* data, uint32_t size, uint32_t* written);
extern ItemWriteCall item_write_call;
