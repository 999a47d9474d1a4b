#include "platform/bounded_format.h"

#include <stdarg.h>
#include <stdio.h>

int bounded_format(char* buffer, size_t room, const char* format, ...) {
  if (buffer == nullptr || room == 0) return -1;
  va_list args;
  va_start(args, format);
#if defined(_WIN32)
  // The C runtime's own formatter: the stub carries no printf implementation of its own.
  int n = _vsnprintf(buffer, room, format, args);
#else
  int n = vsnprintf(buffer, room, format, args);
#endif
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= room) {
    buffer[0] = '\0';
    return -1;
  }
  return n;
}
