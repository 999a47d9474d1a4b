#include <windows.h>

#include "platform/last_error.h"

uint32_t platform_last_error() { return GetLastError(); }

void platform_set_last_error(uint32_t code) { SetLastError(code); }
