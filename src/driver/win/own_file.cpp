#include "driver/win/own_file.h"

#include <windows.h>

#include "platform/error_codes.h"
#include "platform/heap.h"

Status read_own_file(const wchar_t* path, uint8_t** image, uint32_t* size) {
  *image = nullptr;
  *size = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error_status(kErrorOpenFailed, kSiteOwnFileOpen);

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
  CloseHandle(file);
  if (status_failed(status)) {
    heap_free(block);
    return status;
  }
  *image = block;
  *size = file_size;
  return status;
}
