#pragma once
// The files to extract and the writer that puts them into the target folder, one chunk per step so
// that the progress window can repaint between writes. The records are portable (the package
// choice fills them on Linux too); creating and writing the files is Windows-only.
#include <cstdint>

constexpr uint32_t kItemTextSize = 261;      // 260 characters and the terminating NUL
constexpr uint32_t kWriterChunkSize = 0x80000;

struct ExtractItem {
  char name[kItemTextSize];  // "main.msi" or the cabinet's file name
  uint8_t* data;             // the verified file content; owned local-heap block
  uint32_t size;
  void* handle;              // open target file; null before creation, for a kept file, when done
  uint32_t written;          // bytes of data written so far, never above size
  char path[kItemTextSize];  // target folder, a backslash and name
};

struct ItemWriter {
  ExtractItem* items;  // grown one record at a time by the package choice; owned
  int32_t count;
  int32_t current;     // -1 before the first step, count once every item is written
  uint32_t chunk_size; // largest single write
  uintptr_t timer_id;  // the progress window's timer
};

enum WriterStepResult : uint32_t {
  kWriterDone = 0,
  kWriterWriteFailed = 29,
  kWriterMoreData = 234,
};

// True when a file or folder exists at path.
bool path_exists(const char* path);

// Gives every item its path in folder (no trailing backslash) and opens its file for writing. A
// file already there is kept, unopened, only when it holds exactly the item's bytes; any other
// file is replaced and counts as created by this attempt. On a failure the attempt is rolled back
// and false is returned.
bool create_item_files(ItemWriter& writer, const char* folder);

// Undoes create_item_files after item failed could not be created: closes and deletes the files
// this attempt opened, clears every item's handle, written count and path, and removes folder if
// it is left empty. Names, data and sizes stay for the next folder.
void roll_back_item_files(ItemWriter& writer, const char* folder, int32_t failed);

// Does at most one write of at most chunk_size bytes. Returns kWriterMoreData, kWriterWriteFailed
// (the same item resumes after the bytes that were written) or kWriterDone. percent, when given,
// receives the current item's progress from 0 to 100.
uint32_t writer_step(ItemWriter& writer, uint32_t* percent);

// Closes any handle still open, frees every item's data and the array, and zeroes the count.
void release_items(ItemWriter& writer);

// The write call of writer_step, WriteFile by default: writes size bytes to the file handle and
// stores the count written; non-zero on success. Tests replace it to force short writes.
using ItemWriteCall = int (*)(void* handle, const uint8_t* data, uint32_t size, uint32_t* written);
extern ItemWriteCall item_write_call;
