#include "shared/win/status_message.h"

#include <windows.h>

#include "platform/bounded_format.h"

namespace {

bool is_trailing_noise(char c) { return c == '\n' || c == '\r' || c == ' ' || c == '.'; }

}  // namespace

int format_status_message(uint32_t code, char* buffer, size_t size, const char* context) {
  if (buffer == nullptr || size == 0) return 0;
  // Inserts are ignored: a system text with %1 must not read arguments that were never passed.
  DWORD got = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0x400, buffer, static_cast<DWORD>(size), nullptr);
  size_t keep = got < size ? got : 0;
  while (keep > 0 && is_trailing_noise(buffer[keep - 1])) --keep;

  bool has_context = context != nullptr && context[0] != '\0';
  int tail;
  if (keep == 0) {
    tail = has_context ? bounded_format(buffer, size, "%s %u (%s).", "Error", code, context)
                       : bounded_format(buffer, size, "%s %u", "Error", code);
    return tail < 0 ? 0 : tail;
  }
  tail = has_context ? bounded_format(buffer + keep, size - keep, " (%s).", context)
                     : bounded_format(buffer + keep, size - keep, ".");
  if (tail < 0) {
    // The context does not fit behind the text: keep the whole system text with its period
    // rather than a cut-off context.
    buffer[keep] = '\0';
    tail = keep + 1 < size ? bounded_format(buffer + keep, size - keep, ".") : 0;
    if (tail < 0) tail = 0;
  }
  return static_cast<int>(keep) + tail;
}
