#include "payload/record_binding.h"

#include "shared/byte_reader.h"

namespace {

constexpr char kPrefix[] = "sha256=";
constexpr uint32_t kPrefixUnits = sizeof kPrefix - 1;
constexpr uint32_t kDigestUnits = 2 * kContentDigestSize;

int hex_value(uint16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_digit(uint16_t c) { return c >= '0' && c <= '9'; }

// Reads 64 hex digits, ':' and a decimal size below 2^32 that ends the field.
bool read_digest_and_size(const uint8_t* units, uint32_t count, RecordBinding& binding) {
  if (count < kDigestUnits + 2) return false;
  for (uint32_t i = 0; i < kContentDigestSize; ++i) {
    int high = hex_value(read_u16le(units + 4 * i));
    int low = high < 0 ? -1 : hex_value(read_u16le(units + 4 * i + 2));
    if (low < 0) return false;
    binding.digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  if (read_u16le(units + 2 * kDigestUnits) != ':') return false;
  uint64_t size = 0;
  for (uint32_t i = kDigestUnits + 1; i < count; ++i) {
    uint16_t c = read_u16le(units + 2 * i);
    if (!is_digit(c)) return false;
    size = size * 10 + static_cast<uint64_t>(c - '0');
    if (size > UINT32_MAX) return false;
  }
  binding.size = static_cast<uint32_t>(size);
  return true;
}

}  // namespace

void write_record_binding(const RecordBinding& binding, char* field) {
  static const char kDigits[] = "0123456789abcdef";
  char* out = field;
  for (uint32_t i = 0; i < kPrefixUnits; ++i) *out++ = kPrefix[i];
  for (uint8_t byte : binding.digest) {
    *out++ = kDigits[byte >> 4];
    *out++ = kDigits[byte & 15];
  }
  *out++ = ':';
  // The size's digits, most significant first.
  uint32_t scale = 1;
  while (binding.size / scale >= 10) scale *= 10;
  for (; scale != 0; scale /= 10) *out++ = static_cast<char>('0' + binding.size / scale % 10);
  *out = '\0';
}

RecordBinding read_record_binding(const uint8_t* units, uint32_t count) {
  RecordBinding binding = {};
  if (count < kPrefixUnits) return binding;
  for (uint32_t i = 0; i < kPrefixUnits; ++i) {
    if (read_u16le(units + 2 * i) != static_cast<uint8_t>(kPrefix[i])) return binding;
  }
  bool read = read_digest_and_size(units + 2 * kPrefixUnits, count - kPrefixUnits, binding);
  binding.state = read ? kBindingPresent : kBindingMalformed;
  return binding;
}
