#include "driver/command_line.h"

#include "platform/heap.h"
#include "shared/ascii_case.h"

namespace {

size_t unit_length(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

bool is_separator(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\r' || c == u' '; }

}  // namespace

char16_t** split_command_line(const char16_t* text, int* count) {
  if (count != nullptr) *count = 0;
  if (text == nullptr) text = u"";
  size_t len = unit_length(text);
  // Worst case: one-character arguments separated by single blanks, plus the closing null.
  size_t entries = (len + 2) / 2 + 1;
  size_t bytes = entries * sizeof(char16_t*) + (len + 2) * sizeof(char16_t);
  auto** argv = static_cast<char16_t**>(heap_alloc(kHeapFixed, bytes));
  if (argv == nullptr) return nullptr;

  auto* out = reinterpret_cast<char16_t*>(argv + entries);
  int argc = 0;
  bool in_quotes = false, in_token = false, at_start = true;
  for (const char16_t* p = text; *p != 0; ++p) {
    char16_t c = *p;
    if (in_quotes) {
      if (c == u'"') {
        in_quotes = false;
      } else {
        *out++ = c;
      }
    } else if (is_separator(c)) {
      if (in_token) *out++ = 0;
      in_token = false;
      at_start = true;
    } else if (c == u'"') {
      in_token = true;
      if (at_start) {
        argv[argc++] = out;
        at_start = false;
      }
      in_quotes = true;
    } else {
      if (at_start) {
        argv[argc++] = out;
        at_start = false;
      }
      *out++ = c;
      in_token = true;
    }
  }
  *out = 0;
  argv[argc] = nullptr;
  if (count != nullptr) *count = argc;
  return argv;
}

bool has_quiet_switch(char16_t* const* argv, int argc) {
  if (argv == nullptr) return false;
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    if (equals_ignoring_ascii_case(argv[i], u"/q") || equals_ignoring_ascii_case(argv[i], u"/qn") ||
        equals_ignoring_ascii_case(argv[i], u"/quiet")) {
      return true;
    }
  }
  return false;
}
