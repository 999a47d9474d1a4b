#pragma once
// printf-style formatting into a buffer of known room. Text that does not fit is never kept cut
// off: the buffer then holds an empty string and the call returns -1.
#include <cstddef>

int bounded_format(char* buffer, size_t room, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
