#include "extract/argument_forwarding.h"

#include <string.h>

#include "platform/bounded_format.h"
#include "platform/error_codes.h"
#include "platform/heap.h"
#include "platform/text.h"
#include "shared/status.h"

namespace {

size_t unit_length(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

uint32_t append_forwarded_argument(char* line, size_t capacity, size_t* length,
                                   const char16_t* arg) {
  int units = static_cast<int>(unit_length(arg));
  bool inexact = false;
  int needed = utf16_to_narrow(arg, units, nullptr, 0, &inexact);
  if (units > 0 && needed <= 0) return last_error_or(kErrorNotEnoughMemory);
  if (inexact) return kErrorNoUnicodeTranslation;
  auto* narrow = static_cast<char*>(heap_alloc(kHeapZeroInit, static_cast<size_t>(needed) + 1));
  if (narrow == nullptr) return last_error_or(kErrorNotEnoughMemory);
  uint32_t result = 0;
  if (units > 0 && utf16_to_narrow(arg, units, narrow, needed) != needed) {
    result = last_error_or(kErrorNotEnoughMemory);
  } else if (*length >= capacity) {
    result = kErrorFilenameTooLong;
  } else {
    // Quoted when it holds a character the installer's command line may be split on: the
    // splitter's separators and the other white space. None is ever a trail byte of a multibyte
    // character in the narrow code pages, so a byte search finds exactly those characters.
    const char* format = strpbrk(narrow, " \t\n\v\f\r") != nullptr ? " \"%s\"" : " %s";
    int n = bounded_format(line + *length, capacity - *length, format, narrow);
    if (n < 0) {
      result = kErrorFilenameTooLong;
    } else {
      *length += static_cast<size_t>(n);
    }
  }
  heap_free(narrow);
  return result;
}
