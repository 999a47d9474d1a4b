// Linked into a copy of the stub for the end-to-end tests: the run's first write writes half of
// its bytes and fails, as a full disk or a failing device would, and every later write succeeds.
#include <windows.h>

#include <cstdint>

#include "extract/win/item_files.h"

namespace {

int write_failing_once(void* handle, const uint8_t* data, uint32_t size, uint32_t* written) {
  static bool failed = false;
  DWORD count = 0;
  if (!failed) {
    failed = true;
    WriteFile(handle, data, size / 2, &count, nullptr);
    *written = count;
    return 0;
  }
  BOOL ok = WriteFile(handle, data, size, &count, nullptr);
  *written = count;
  return ok;
}

struct InstallFaultyWrite {
  InstallFaultyWrite() { item_write_call = write_failing_once; }
} install_faulty_write;

}  // namespace
