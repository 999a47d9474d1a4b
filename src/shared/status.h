#pragma once
// The result of every fallible step: low 32 bits the code (0 is success), high 32 bits the site,
// a fixed number naming the place that produced it. Only the code decides success.
#include <cstdint>

using Status = uint64_t;

constexpr Status status_of(uint32_t code, uint32_t site) {
  return (static_cast<Status>(site) << 32) | code;
}
constexpr uint32_t status_code(Status s) { return static_cast<uint32_t>(s); }
constexpr uint32_t status_site(Status s) { return static_cast<uint32_t>(s >> 32); }
constexpr bool status_failed(Status s) { return status_code(s) != 0; }

// (site << 32) | code, where the code is the platform's last error unless that is 0, in which case
// it is the fallback: the usual form after a failed system call.
Status last_error_status(uint32_t fallback, uint32_t site);

// The platform's last error, or fallback when it is 0.
uint32_t last_error_or(uint32_t fallback);
