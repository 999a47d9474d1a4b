#include <string.h>

#include "platform/text.h"

namespace {

unsigned read_unit(const unsigned char* p) { return p[0] | (p[1] << 8); }

// UTF-8 bytes of one code point; lone surrogates become '?', as an unmappable character would.
int encode(unsigned cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace

int utf16_to_narrow(const void* src, int units, char* dst, int capacity, bool* inexact) {
  if (inexact != nullptr) *inexact = false;
  if (units <= 0 || src == nullptr) return 0;
  const auto* p = static_cast<const unsigned char*>(src);
  long total = 0;
  for (int i = 0; i < units; ++i) {
    unsigned cp = read_unit(p + 2 * static_cast<long>(i));
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units) {
      unsigned low = read_unit(p + 2 * static_cast<long>(i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        cp = '?';
        if (inexact != nullptr) *inexact = true;
      }
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = '?';
      if (inexact != nullptr) *inexact = true;
    }
    char bytes[4];
    int n = encode(cp, bytes);
    if (capacity != 0) {
      if (total + n > capacity) return 0;
      memcpy(dst + total, bytes, static_cast<size_t>(n));
    }
    total += n;
  }
  return static_cast<int>(total);
}
