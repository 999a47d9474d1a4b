#include "platform/last_error.h"

namespace {
thread_local uint32_t last_error = 0;
}

uint32_t platform_last_error() { return last_error; }

void platform_set_last_error(uint32_t code) { last_error = code; }
