#include "shared/status.h"

#include "platform/last_error.h"

Status last_error_status(uint32_t fallback, uint32_t site) {
  uint32_t code = platform_last_error();
  return status_of(code != 0 ? code : fallback, site);
}

uint32_t last_error_or(uint32_t fallback) { return status_code(last_error_status(fallback, 0)); }
