#pragma once
// Comparison that ignores the letter case of A to Z only, for the fixed words this program looks
// for ("x64", "cab", "/quiet"): the user's locale never changes what they match.

template <typename Char>
constexpr Char ascii_lower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

// True when both NUL-terminated texts are equal apart from the case of A to Z.
template <typename Char>
constexpr bool equals_ignoring_ascii_case(const Char* a, const Char* b) {
  while (*a != Char(0) && ascii_lower(*a) == ascii_lower(*b)) {
    ++a;
    ++b;
  }
  return ascii_lower(*a) == ascii_lower(*b);
}
