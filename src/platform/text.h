#pragma once
// Conversion of UTF-16 text to the narrow text the rest of the program uses: the ANSI code page on
// Windows, UTF-8 on Linux. Never best-fit: a character the code page cannot spell exactly becomes
// the system's default character ('?'), never a look-alike: a fullwidth quotation mark must not
// turn into '"' on a command line, nor a fullwidth solidus into '/' in a name.
#include <cstdint>

// Converts units UTF-16LE code units read from src (any alignment). With capacity 0 returns the
// number of bytes needed; otherwise writes at most capacity bytes (no terminator is added) and
// returns the count written, or 0 when they do not fit or units is 0. When inexact is not null it
// says whether any character was replaced by the default character (Windows:
// WC_NO_BEST_FIT_CHARS and the used-default flag; an ANSI code page that is UTF-8 spells every
// character; Linux: a lone surrogate).
int utf16_to_narrow(const void* src, int units, char* dst, int capacity, bool* inexact = nullptr);
