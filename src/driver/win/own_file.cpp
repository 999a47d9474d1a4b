#include "driver/win/own_file.h"

#include <windows.h>

#include "platform/error_codes.h"
#include "platform/heap.h"
#include "platform/system_library_win.h"

namespace {

using MappedFilesTheSame = LONG(WINAPI*)(PVOID image, PVOID view);

// Whether the open file is the file mapped as this program's image. The system compares the
// files behind two views, not their names: no rename, link or replacement between the start and
// this check can make another file pass, and once it has passed the held file cannot be changed.
bool is_running_image(HANDLE file) {
  auto same = reinterpret_cast<MappedFilesTheSame>(system_function(kNtAreMappedFilesTheSame));
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1);
  bool image = view != nullptr && same != nullptr && same(GetModuleHandleW(nullptr), view) == 0;
  if (view != nullptr) UnmapViewOfFile(view);
  CloseHandle(mapping);
  return image;
}

HANDLE open_for_reading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

Status read_open_file(HANDLE file, uint8_t** image, uint32_t* size) {
  Status status = status_of(0, kSiteOwnFileRead);
  uint8_t* block = nullptr;
  DWORD read = 0;
  // Only the low 32 bits are used: the container format cannot address more.
  DWORD file_size = GetFileSize(file, nullptr);
  if (file_size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    status = status_of(kErrorSeekOnDevice, kSiteOwnFileSize);
  } else if ((block = static_cast<uint8_t*>(heap_alloc(kHeapFixed, file_size))) == nullptr) {
    status = last_error_status(kErrorNotEnoughMemory, kSiteOwnFileBuffer);
  } else if (!ReadFile(file, block, file_size, &read, nullptr) || read != file_size) {
    status = status_of(kErrorReadFault, kSiteOwnFileRead);
  }
  if (status_failed(status)) {
    heap_free(block);
    return status;
  }
  *image = block;
  *size = file_size;
  return status;
}

Status read_file(const wchar_t* path, bool own, uint8_t** image, uint32_t* size) {
  *image = nullptr;
  *size = 0;
  HANDLE file = open_for_reading(path);
  if (file == INVALID_HANDLE_VALUE) return last_error_status(kErrorOpenFailed, kSiteOwnFileOpen);
  Status status = own && !is_running_image(file) ? status_of(kErrorInvalidData, kSiteOwnFileNotImage)
                                                 : read_open_file(file, image, size);
  CloseHandle(file);
  return status;
}

}  // namespace

Status read_own_file(const wchar_t* path, uint8_t** image, uint32_t* size) {
  return read_file(path, true, image, size);
}

Status read_whole_file(const wchar_t* path, uint8_t** image, uint32_t* size) {
  return read_file(path, false, image, size);
}
