#pragma once
// Little-endian integers in byte vectors, for the images and containers the tool writes. Reads
// are bounds-checked and throw ToolError when the bytes are not there.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/tool_error.h"
#include "shared/byte_reader.h"

namespace msiboot_tool {

using Bytes = std::vector<uint8_t>;

// Lower-case hex, as digests are shown.
inline std::string hex_text(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) (text += digits[b >> 4]) += digits[b & 15];
  return text;
}

inline void append_u32le(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline void put_u32le(Bytes& bytes, size_t at, uint32_t value) {
  if (at > bytes.size() || bytes.size() - at < 4) throw ToolError("image too short");
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Reads bytes held anywhere (a byte vector, or a mapped file that must not be copied).
inline uint32_t get_u32le(std::span<const uint8_t> bytes, size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) throw ToolError("image too short");
  return read_u32le(bytes.data() + at);
}

inline uint16_t get_u16le(std::span<const uint8_t> bytes, size_t at) {
  if (at > bytes.size() || bytes.size() - at < 2) throw ToolError("image too short");
  return read_u16le(bytes.data() + at);
}

inline void append_u16le(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void put_u16le(Bytes& bytes, size_t at, uint16_t value) {
  if (at > bytes.size() || bytes.size() - at < 2) throw ToolError("image too short");
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline uint32_t checked_u32(size_t value, const char* what) {
  if (value > UINT32_MAX) throw ToolError(std::string(what) + " larger than 4 GiB");
  return static_cast<uint32_t>(value);
}

}  // namespace msiboot_tool
