#include "extract/win/item_files.h"

#include <windows.h>
#include <string.h>

#include "platform/bounded_format.h"

namespace {

int write_with_write_file(void* handle, const uint8_t* data, uint32_t size, uint32_t* written) {
  DWORD count = 0;
  BOOL ok = WriteFile(handle, data, size, &count, nullptr);
  *written = count;
  return ok;
}

constexpr DWORD kCompareBlock = 65536;

// Reads the next size bytes of the open file and compares them with data.
bool contents_equal(HANDLE file, const uint8_t* data, uint32_t size) {
  static uint8_t block[kCompareBlock];
  uint32_t offset = 0;
  while (offset < size) {
    DWORD wanted = size - offset < kCompareBlock ? size - offset : kCompareBlock;
    DWORD got = 0;
    if (!ReadFile(file, block, wanted, &got, nullptr) || got == 0 || got > wanted) return false;
    if (memcmp(block, data + offset, got) != 0) return false;
    offset += got;
  }
  return true;
}

constexpr DWORD kReadAccess = GENERIC_READ;
constexpr DWORD kWriteAccess = GENERIC_WRITE | DELETE;

// True when the open file has exactly size bytes.
bool has_size(HANDLE file, uint32_t size) {
  LARGE_INTEGER length = {};
  return GetFileSizeEx(file, &length) && length.QuadPart == static_cast<LONGLONG>(size);
}

// Opens the item's file for reading, sharing it with readers only: the open fails while anyone
// else may write the file, and as long as the handle stays open nobody can write, delete or
// rename it, so the bytes compared are the bytes the installer reads.
HANDLE open_for_hold(const ExtractItem& item) {
  return CreateFileA(item.path, kReadAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Holds the file found at the item's path when it lies in the folder and holds exactly the
// item's bytes; the whole file is compared here, before anything is written.
bool hold_if_identical(ExtractItem& item, const HeldFolder& folder) {
  HANDLE file = open_for_hold(item);
  if (file == INVALID_HANDLE_VALUE) return false;
  char path[kItemTextSize];
  if (final_path_of(file, path, sizeof path) && names_entry_of(path, folder.path, item.name) &&
      identity_of(file, item.identity) && has_size(file, item.size) &&
      contents_equal(file, item.data, item.size)) {
    item.held = file;
    item.checked = item.size;
    return true;
  }
  CloseHandle(file);
  return false;
}

// The earlier item of this attempt with item's path, or null: both are the same file, which the
// earlier item creates or holds.
const ExtractItem* placed_before(const ItemWriter& writer, int32_t index) {
  for (int32_t i = 0; i < index; ++i) {
    if (lstrcmpiA(writer.items[i].path, writer.items[index].path) == 0) return &writer.items[i];
  }
  return nullptr;
}

// Sets the item's path and opens its file, or holds an identical file already there. A file found
// at the path may have been left there by anyone who can write the folder: any other file is
// deleted, and the new one made only where nothing is (CREATE_NEW), so that a link planted at
// the name never leads the write to another file; it must then lie, by its final path, in the
// held folder. A path that does not fit is a failed creation: a cut-off path would name another
// file.
bool place_item(ItemWriter& writer, int32_t index, const HeldFolder& folder) {
  ExtractItem& item = writer.items[index];
  if (bounded_format(item.path, sizeof item.path, "%s\\%s", folder.path, item.name) < 0) {
    return false;
  }
  // A name listed twice is written once; the writer checks the later item against that file.
  if (placed_before(writer, index) != nullptr) return true;
  if (path_exists(item.path)) {
    if (hold_if_identical(item, folder)) return true;
    if (!DeleteFileA(item.path)) return false;
  }
  HANDLE file = CreateFileA(item.path, kWriteAccess, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  item.handle = file;
  item.created = true;  // whatever else fails now, this file is the attempt's own
  char path[kItemTextSize];
  return final_path_of(file, path, sizeof path) && names_entry_of(path, folder.path, item.name);
}

void close_handle(void*& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

// The item's progress: writing counts for the first half, comparing for the second, so that the
// bar moves evenly over the steps of both.
uint32_t percent_of(const ExtractItem& item) {
  double done = static_cast<double>(item.written) + static_cast<double>(item.checked);
  return static_cast<uint32_t>(done / (2.0 * static_cast<double>(item.size)) * 100.0);
}

void set_percent(uint32_t* percent, uint32_t value) {
  if (percent != nullptr) *percent = value;
}

uint32_t write_chunk(const ItemWriter& writer, ExtractItem& item, uint32_t* percent) {
  uint32_t n = item.size - item.written;
  if (n > writer.chunk_size) n = writer.chunk_size;
  uint32_t count = 0;
  int ok = item_write_call(item.handle, item.data + item.written, n, &count);
  if (count > n) count = n;  // a write never reports more than it was given
  item.written += count;
  set_percent(percent, percent_of(item));
  return ok && count == n ? kWriterMoreData : kWriterWriteFailed;
}

// Closes the written file's write handle and holds the file. The write handle cannot be narrowed
// to reading: between closing it and holding the file, anyone who may write the folder could
// change or replace the file, so the held file must be the very file written (its identity, read
// from the write handle) and of its size, and its bytes are compared again, a chunk per step. The
// second item of a name listed twice holds the file the first one holds.
bool hold_written(const ItemWriter& writer, ExtractItem& item) {
  const ExtractItem* earlier = placed_before(writer, static_cast<int32_t>(&item - writer.items));
  if (earlier != nullptr) {
    item.identity = earlier->identity;
  } else if (item.handle != nullptr && !identity_of(item.handle, item.identity)) {
    return false;  // else it was read when the file was first held
  }
  close_handle(item.handle);
  HANDLE file = open_for_hold(item);
  if (file == INVALID_HANDLE_VALUE) return false;
  FileIdentity found;
  if (identity_of(file, found) && same_identity(found, item.identity) &&
      has_size(file, item.size)) {
    item.held = file;
    item.checked = 0;
    return true;
  }
  CloseHandle(file);
  return false;
}

// How long one step may go on comparing: a comparison needs no pacing of its own (a chunk takes
// well under a millisecond), only room for the window to repaint between steps.
constexpr DWORD kCompareMilliseconds = 16;

// Compares the held file with the item's bytes, chunk after chunk for as long as one step may
// take. A difference lets go of the file: a retry holds it again and compares from its start.
uint32_t check_chunks(const ItemWriter& writer, ExtractItem& item, uint32_t* percent) {
  DWORD start = GetTickCount();
  bool equal = true;
  do {
    uint32_t n = item.size - item.checked;
    if (n > writer.chunk_size) n = writer.chunk_size;
    equal = contents_equal(item.held, item.data + item.checked, n);
    item.checked = equal ? item.checked + n : 0;
  } while (equal && item.checked < item.size && GetTickCount() - start < kCompareMilliseconds);
  if (!equal) close_handle(item.held);
  set_percent(percent, percent_of(item));
  return equal ? kWriterMoreData : kWriterWriteFailed;
}

// Undoes the placing of the items: deletes the files this attempt created, through their handles,
// lets go of the files that were there before, clears every item's handles, counts and path, and
// releases the folder (removed when this attempt made it). Names, data and sizes stay for the
// next folder.
void roll_back_item_files(ItemWriter& writer, HeldFolder& folder) {
  delete_created_files(writer);
  for (int32_t i = 0; i < writer.count; ++i) {
    ExtractItem& item = writer.items[i];
    item.written = 0;
    item.checked = 0;
    item.identity = FileIdentity{};
    memset(item.path, 0, sizeof item.path);
  }
  // Removes the folder only when this attempt made it and nothing was there before.
  release_held_folder(folder);
}

}  // namespace

ItemWriteCall item_write_call = write_with_write_file;

bool path_exists(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool create_item_files(ItemWriter& writer, HeldFolder& folder) {
  for (int32_t i = 0; i < writer.count; ++i) {
    if (!place_item(writer, i, folder)) {
      DWORD error = GetLastError();  // what failed, not what the roll-back did
      roll_back_item_files(writer, folder);
      SetLastError(error);
      return false;
    }
  }
  return true;
}

uint32_t writer_step(ItemWriter& writer, uint32_t* percent) {
  if (writer.current < 0) {
    writer.current = 0;
  } else if (writer.current < writer.count) {
    ExtractItem& item = writer.items[writer.current];
    if (item.written < item.size) return write_chunk(writer, item, percent);
    if (item.held == nullptr && !hold_written(writer, item)) {
      set_percent(percent, percent_of(item));
      return kWriterWriteFailed;
    }
    if (item.checked < item.size) return check_chunks(writer, item, percent);
    ++writer.current;
  }
  if (writer.current >= writer.count) {
    set_percent(percent, 100);
    return kWriterDone;
  }
  ExtractItem& entered = writer.items[writer.current];
  // A kept file, or the second item of a name listed twice, is already written.
  if (entered.handle == nullptr) entered.written = entered.size;
  set_percent(percent, 0);
  return kWriterMoreData;
}

void close_item_files(ItemWriter& writer) {
  for (int32_t i = 0; i < writer.count; ++i) {
    close_handle(writer.items[i].handle);
    close_handle(writer.items[i].held);
  }
}

void delete_created_files(ItemWriter& writer) {
  for (int32_t i = 0; i < writer.count; ++i) {
    ExtractItem& item = writer.items[i];
    if (item.created && item.handle != nullptr) {
      delete_through_handle(item.handle);
      item.created = false;
    }
  }
  // Every hold is closed first: a name listed twice is held twice, and a hold denies deletion.
  close_item_files(writer);
  for (int32_t i = 0; i < writer.count; ++i) {
    ExtractItem& item = writer.items[i];
    if (item.created) delete_if_same(item.path, item.identity);
    item.created = false;
  }
}
