#include <windows.h>

#include "platform/text.h"

int utf16_to_narrow(const void* src, int units, char* dst, int capacity, bool* inexact) {
  if (inexact != nullptr) *inexact = false;
  if (units <= 0) return 0;
  // UTF-8 as the ANSI code page (a Windows option) takes neither the flag nor the used-default
  // pointer; it spells every character.
  bool utf8 = GetACP() == CP_UTF8;
  BOOL used_default = FALSE;
  int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, static_cast<LPCWCH>(src),
                              units, capacity ? dst : nullptr, capacity, nullptr,
                              utf8 ? nullptr : &used_default);
  if (inexact != nullptr) *inexact = used_default != FALSE;
  return n;
}
