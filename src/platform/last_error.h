#pragma once
// The thread's last-error value: GetLastError and SetLastError on Windows, a thread-local value on
// Linux, so that failure codes are built the same way in both builds.
#include <cstdint>

uint32_t platform_last_error();
void platform_set_last_error(uint32_t code);
