#pragma once
// The progress window's caption holds at most 49 UTF-16 units of the package title. The tool
// shows publishers the title cut by this same rule.
#include <cstddef>

constexpr size_t kTemplateTextUnits = 49;

// How many of length units of text to keep under limit: all of them when they fit, else limit,
// or one fewer when the cut would split a surrogate pair.
template <typename Unit>
size_t cut_to_units(const Unit* text, size_t length, size_t limit) {
  if (length <= limit) return length;
  bool splits_pair = limit > 0 && text[limit - 1] >= 0xD800 && text[limit - 1] <= 0xDBFF;
  return splits_pair ? limit - 1 : limit;
}
