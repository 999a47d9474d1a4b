#include "shared/status.h"

#include "platform/last_error.h"

Status make_status(ErrorQuery query, uint32_t fallback, uint32_t site) {
  uint32_t code = query != nullptr ? query() : 0;
  if (code == 0) code = fallback;
  return status_of(code, site);
}

Status last_error_status(uint32_t fallback, uint32_t site) {
  return make_status(platform_last_error, fallback, site);
}

uint32_t last_error_or(uint32_t fallback) { return status_code(last_error_status(fallback, 0)); }
