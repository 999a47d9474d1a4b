#pragma once
// The program's UTF-16 command line: split once into arguments, searched for the installer's quiet
// switches, and every argument after the program name forwarded to the installer's command line.
#include <cstddef>
#include <cstdint>

// Splits text into a null-terminated argument table held in one local-heap block (pointer table
// followed by the characters); entry 0 is the program name as written. Stores the count in *count.
// Null when the block cannot be allocated (the last error says why). Free with heap_free.
char16_t** split_command_line(const char16_t* text, int* count);

// True when an argument after the program name is "/q", "/qn" or "/quiet", in any letter case.
bool has_quiet_switch(char16_t* const* argv, int argc);

// Converts arg to narrow text and appends it to line at *length as ' arg', or ' "arg"' when it
// holds a blank. Returns 0 and advances *length; 206 when the line would not fit its capacity
// (line and *length are then unchanged); 1113 when a character of arg has no exact equivalent in
// the narrow code page (a look-alike could change what the installer reads: a fullwidth quotation
// mark would become '"'); the last error or 8 when the conversion fails.
uint32_t append_forwarded_argument(char* line, size_t capacity, size_t* length, const char16_t* arg);
