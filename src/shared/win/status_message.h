#pragma once
// One-line text for a status code: the system's own text, cleaned of its trailing periods and line
// breaks, with an optional parenthesised context; 'Error N' when the system has none.
#include <cstddef>
#include <cstdint>

// Writes the message into buffer (size bytes) and returns its length. context may be null.
int format_status_message(uint32_t code, char* buffer, size_t size, const char* context);
