#include "payload/record_binding.h"

#include <string.h>

namespace {

constexpr char kPrefix[] = "sha256=";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads 64 hex digits, ':' and a decimal size below 2^32 that ends the field.
bool read_digest_and_size(const char* p, RecordBinding& binding) {
  for (uint32_t i = 0; i < kContentDigestSize; ++i) {
    int high = hex_value(p[2 * i]);
    int low = high < 0 ? -1 : hex_value(p[2 * i + 1]);
    if (low < 0) return false;
    binding.digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  p += 2 * kContentDigestSize;
  if (*p++ != ':' || *p < '0' || *p > '9') return false;
  uint64_t size = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    size = size * 10 + static_cast<uint64_t>(*p - '0');
    if (size > UINT32_MAX) return false;
  }
  binding.size = static_cast<uint32_t>(size);
  return *p == '\0' || *p == '\\';
}

}  // namespace

RecordBinding read_record_binding(const char* text, int leading_fields) {
  RecordBinding binding = {};
  const char* p = text;
  for (int field = 0; field < leading_fields; ++field) {
    // An empty field ends the fields, as it ends split_manifest_fields' scan.
    if (p == nullptr || *p == '\0' || *p == '\\') return binding;
    p = strchr(p, '\\');
    if (p == nullptr) return binding;
    ++p;
  }
  if (strncmp(p, kPrefix, sizeof kPrefix - 1) != 0) return binding;
  binding.state = read_digest_and_size(p + sizeof kPrefix - 1, binding) ? kBindingPresent
                                                                        : kBindingMalformed;
  return binding;
}
