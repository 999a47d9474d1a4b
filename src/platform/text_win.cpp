#include <windows.h>

#include "platform/text.h"

int utf16_to_narrow(const void* src, int units, char* dst, int capacity) {
  if (units <= 0) return 0;
  return WideCharToMultiByte(CP_ACP, 0, static_cast<LPCWCH>(src), units, capacity ? dst : nullptr,
                             capacity, nullptr, nullptr);
}
