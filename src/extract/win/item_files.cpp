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

// Reads the open file to its end and compares it with data; the size is already known to match.
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

// Opens the file at path for reading, sharing it with readers only, and returns the handle when
// the file holds exactly data, else null. The open fails while anyone else may write the file, and
// as long as the handle stays open nobody can write, delete or rename it: the bytes compared are
// the bytes the installer reads.
HANDLE hold_if_identical(const char* path, const uint8_t* data, uint32_t size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER length = {};
  if (GetFileSizeEx(file, &length) && length.QuadPart == static_cast<LONGLONG>(size) &&
      contents_equal(file, data, size)) {
    return file;
  }
  CloseHandle(file);
  return nullptr;
}

// True when an item before index in this attempt already has item's path: both are the same file,
// which the earlier item creates.
bool placed_before(const ItemWriter& writer, int32_t index) {
  for (int32_t i = 0; i < index; ++i) {
    if (lstrcmpiA(writer.items[i].path, writer.items[index].path) == 0) return true;
  }
  return false;
}

// Sets the item's path and opens its file, or holds an identical file already there. A file found
// at the path may have been left there by anyone who can write the folder: any other file is
// deleted, and the new one made only where nothing is (CREATE_NEW), so that a link planted at
// the name never leads the write to another file. A path that does not fit is a failed creation:
// a cut-off path would name another file.
bool place_item(ItemWriter& writer, int32_t index, const char* folder) {
  ExtractItem& item = writer.items[index];
  item.handle = INVALID_HANDLE_VALUE;
  item.held = nullptr;
  if (bounded_format(item.path, sizeof item.path, "%s\\%s", folder, item.name) < 0) return false;
  item.handle = nullptr;
  // A name listed twice is written once; the writer checks the later item against that file.
  if (placed_before(writer, index)) return true;
  if (path_exists(item.path)) {
    item.held = hold_if_identical(item.path, item.data, item.size);
    if (item.held != nullptr) return true;
    if (!DeleteFileA(item.path)) {
      item.handle = INVALID_HANDLE_VALUE;
      return false;
    }
  }
  item.handle = CreateFileA(item.path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return item.handle != INVALID_HANDLE_VALUE;
}

void close_handle(void*& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

uint32_t percent_of(uint32_t written, uint32_t size) {
  return static_cast<uint32_t>(static_cast<double>(written) / static_cast<double>(size) * 100.0);
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
  set_percent(percent, percent_of(item.written, item.size));
  return ok && count == n ? kWriterMoreData : kWriterWriteFailed;
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

bool create_item_files(ItemWriter& writer, const char* folder) {
  for (int32_t i = 0; i < writer.count; ++i) {
    if (!place_item(writer, i, folder)) {
      roll_back_item_files(writer, folder, i);
      return false;
    }
  }
  return true;
}

void roll_back_item_files(ItemWriter& writer, const char* folder, int32_t failed) {
  if (failed >= 0 && failed < writer.count) writer.items[failed].handle = nullptr;
  for (int32_t i = 0; i < writer.count; ++i) {
    ExtractItem& item = writer.items[i];
    if (item.handle != nullptr) {
      CloseHandle(item.handle);
      if (path_exists(item.path)) DeleteFileA(item.path);
    }
    item.handle = nullptr;
    close_handle(item.held);  // a file that was there before stays
    item.written = 0;
    memset(item.path, 0, sizeof item.path);
  }
  // Removes only an empty folder, so files that were there before keep theirs.
  if (path_exists(folder)) RemoveDirectoryA(folder);
}

uint32_t writer_step(ItemWriter& writer, uint32_t* percent) {
  if (writer.current < 0) {
    writer.current = 0;
  } else if (writer.current < writer.count) {
    ExtractItem& item = writer.items[writer.current];
    if (item.written < item.size) return write_chunk(writer, item, percent);
    close_handle(item.handle);
    // The write handle cannot be narrowed to reading: between closing it and holding the file,
    // anyone who may write the folder could change the file, so what is held is compared again.
    if (item.held == nullptr) item.held = hold_if_identical(item.path, item.data, item.size);
    if (item.held == nullptr) {
      set_percent(percent, 100);
      return kWriterWriteFailed;
    }
    ++writer.current;
  }
  if (writer.current >= writer.count) {
    set_percent(percent, 100);
    return kWriterDone;
  }
  ExtractItem& entered = writer.items[writer.current];
  // A kept file is already complete.
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
