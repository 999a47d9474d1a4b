#pragma once
// Conversion of UTF-16 text to the narrow text the rest of the program uses: the ANSI code page on
// Windows (WideCharToMultiByte with CP_ACP, no flags, no default character), UTF-8 on Linux.
#include <cstdint>

// Converts units UTF-16LE code units read from src (any alignment). With capacity 0 returns the
// number of bytes needed; otherwise writes at most capacity bytes (no terminator is added) and
// returns the count written, or 0 when they do not fit or units is 0.
int utf16_to_narrow(const void* src, int units, char* dst, int capacity);
