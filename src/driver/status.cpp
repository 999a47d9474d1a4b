#include "driver/status.h"

Status make_status(ErrorQuery query, uint32_t fallback, uint32_t site) {
  uint32_t code = query != nullptr ? query() : 0;
  if (code == 0) code = fallback;
  return status_of(code, site);
}
