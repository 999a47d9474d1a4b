#pragma once
// The program's UTF-16 command line: split once into arguments and searched for the installer's
// quiet switches (extract/argument_forwarding.h hands the arguments on to the installer).

// Splits text into a null-terminated argument table held in one local-heap block (pointer table
// followed by the characters); entry 0 is the program name as written. Stores the count in *count.
// Null when the block cannot be allocated (the last error says why). Free with heap_free.
char16_t** split_command_line(const char16_t* text, int* count);

// True when an argument after the program name is "/q", "/qn" or "/quiet", in any letter case.
bool has_quiet_switch(char16_t* const* argv, int argc);
