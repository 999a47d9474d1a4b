#pragma once
// The user's arguments handed on to the installer's command line, each exactly as given.
#include <cstddef>
#include <cstdint>

// Converts arg to narrow text and appends it to line at *length as ' arg', or ' "arg"' when it
// holds a blank, tab, line feed, vertical tab, form feed or carriage return, so that it reaches
// the installer as one argument. Returns 0 and advances *length; 206 when the line would not fit its capacity
// (line and *length are then unchanged); 1113 when a character of arg has no exact equivalent in
// the narrow code page (a look-alike could change what the installer reads: a fullwidth quotation
// mark would become '"'); the last error or 8 when the conversion fails.
uint32_t append_forwarded_argument(char* line, size_t capacity, size_t* length, const char16_t* arg);
