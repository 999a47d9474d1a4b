#include "branding/version_info.h"

#include <stdexcept>

#include "files/tool_error.h"
#include "files/utf16_text.h"

namespace msiboot_tool {
namespace {

// VS_FIXEDFILEINFO: 52 bytes, its signature first.
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedSize = 52;
constexpr uint16_t kBinary = 0, kText = 1;
// Language neutral, code page 1200 (Unicode): the table every system language reads.
constexpr char16_t kNeutralUnicodeTable[] = u"000004b0";
constexpr uint32_t kNeutralUnicodeTranslation = 0x04B00000;
// Keeps the whole resource within the 16-bit lengths of its blocks.
constexpr size_t kLongestText = 4096;

void pad4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// A block: length, value length, type, its key, then its value and its children, each 4-aligned.
// The length counts everything but the padding after the block.
template <typename Children>
void block(Bytes& out, const std::u16string& key, uint16_t type, const Bytes& value, uint16_t value_length,
           Children children) {
  pad4(out);
  size_t start = out.size();
  append_u16le(out, 0);
  append_u16le(out, value_length);
  append_u16le(out, type);
  for (char16_t unit : key) append_u16le(out, unit);
  append_u16le(out, 0);
  pad4(out);
  out.insert(out.end(), value.begin(), value.end());
  children();
  size_t length = out.size() - start;
  if (length > UINT16_MAX) throw ToolError("the version information is too long");
  out[start] = static_cast<uint8_t>(length);
  out[start + 1] = static_cast<uint8_t>(length >> 8);
}

void text_block(Bytes& out, const char16_t* key, const std::string& text) {
  Bytes value = utf16le(text, true);
  block(out, key, kText, value, static_cast<uint16_t>(value.size() / 2), [] {});
}

Bytes fixed_file_info(const FourPartVersion& v) {
  Bytes fixed;
  uint32_t most = static_cast<uint32_t>(v[0]) << 16 | v[1], least = static_cast<uint32_t>(v[2]) << 16 | v[3];
  // The signature, structure version 1.0, the file and product versions, the flags that are valid
  // (all six) and those set (none), the system (NT, 32-bit Windows), the type (an application),
  // no subtype and no date.
  for (uint32_t field : {kFixedSignature, 0x00010000u, most, least, most, least, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u}) {
    append_u32le(fixed, field);
  }
  return fixed;
}

// One block of the resource being read: [value, value_end) and [children, end) lie within it.
struct ReadBlock {
  std::string key;
  size_t value = 0, value_end = 0, children = 0, end = 0;
};

size_t align4(size_t at) { return (at + 3) & ~static_cast<size_t>(3); }

// The block at `at`, which must lie before limit.
ReadBlock read_block(const Bytes& bytes, size_t at, size_t limit) {
  const char* malformed = "the version information is malformed";
  if (limit > bytes.size() || at > limit || limit - at < 6) throw ToolError(malformed);
  size_t length = get_u16le(bytes, at), value_length = get_u16le(bytes, at + 2), type = get_u16le(bytes, at + 4);
  if (length < 6 || length > limit - at) throw ToolError(malformed);
  ReadBlock b;
  b.end = at + length;
  size_t key_end = at + 6;
  while (b.end - key_end >= 2 && get_u16le(bytes, key_end) != 0) key_end += 2;
  if (b.end - key_end < 2) throw ToolError(malformed);
  b.key = utf8_text(bytes.data() + at + 6, (key_end - at - 6) / 2);
  b.value = std::min(align4(key_end + 2), b.end);
  // Some toolchains count a text value in bytes, not units: the value never reaches past the block.
  size_t value_bytes = type == kText ? value_length * 2 : value_length;
  b.value_end = b.value + std::min(value_bytes, b.end - b.value);
  b.children = std::min(align4(b.value_end), b.end);
  return b;
}

// The blocks inside parent, in order.
std::vector<ReadBlock> children_of(const Bytes& bytes, const ReadBlock& parent) {
  std::vector<ReadBlock> children;
  for (size_t at = parent.children; at < parent.end && parent.end - at >= 6;) {
    children.push_back(read_block(bytes, at, parent.end));
    at = align4(children.back().end);
  }
  return children;
}

// A string's text: up to its terminating zero, within its value.
std::string text_of(const Bytes& bytes, const ReadBlock& b) {
  size_t at = b.value;
  while (b.value_end - at >= 2 && get_u16le(bytes, at) != 0) at += 2;
  return utf8_text(bytes.data() + b.value, (at - b.value) / 2);
}

FourPartVersion version_at(const Bytes& bytes, size_t at) {
  uint32_t most = get_u32le(bytes, at), least = get_u32le(bytes, at + 4);
  return {static_cast<uint16_t>(most >> 16), static_cast<uint16_t>(most), static_cast<uint16_t>(least >> 16),
          static_cast<uint16_t>(least)};
}

}  // namespace

FourPartVersion parse_version(const std::string& text, bool fewer_parts) {
  FourPartVersion version{};
  size_t part = 0, at = 0;
  bool good = !text.empty();
  while (good && at <= text.size()) {
    size_t dot = std::min(text.find('.', at), text.size());
    std::string number = text.substr(at, dot - at);
    good = part < 4 && !number.empty() && number.size() <= 5 &&
           number.find_first_not_of("0123456789") == std::string::npos && std::stoul(number) <= UINT16_MAX;
    if (good) version[part++] = static_cast<uint16_t>(std::stoul(number));
    at = dot + 1;
  }
  if (!good || (part != 4 && !fewer_parts)) {
    throw ToolError("\"" + text + "\" is not a version: four numbers of at most 65535, as 1.2.3.4");
  }
  return version;
}

std::string version_text(const FourPartVersion& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

void check_version_text(const std::string& text) {
  // Shown by Explorer and by inspect, where a control character could hide or forge a line.
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) throw ToolError("holds a control character");
  }
  if (utf16le(text, false).size() / 2 > kLongestText) {
    throw ToolError("longer than the " + std::to_string(kLongestText) + " characters a version field may hold");
  }
}

Bytes version_resource(const VersionFields& fields) {
  for (const std::string* text : {&fields.product_name, &fields.company, &fields.description, &fields.copyright}) {
    check_version_text(*text);
  }
  std::vector<std::pair<const char16_t*, std::string>> strings = {
      {u"CompanyName", fields.company}, {u"FileDescription", fields.description}};
  if (fields.version) strings.push_back({u"FileVersion", version_text(*fields.version)});
  strings.push_back({u"LegalCopyright", fields.copyright});
  strings.push_back({u"ProductName", fields.product_name});
  if (fields.version) strings.push_back({u"ProductVersion", version_text(*fields.version)});
  Bytes out, translation;
  append_u32le(translation, kNeutralUnicodeTranslation);
  Bytes fixed = fixed_file_info(fields.version.value_or(FourPartVersion{}));
  block(out, u"VS_VERSION_INFO", kBinary, fixed, kFixedSize, [&] {
    block(out, u"StringFileInfo", kText, {}, 0, [&] {
      block(out, kNeutralUnicodeTable, kText, {}, 0, [&] {
        for (const auto& [key, text] : strings) {
          if (!text.empty()) text_block(out, key, text);
        }
      });
    });
    block(out, u"VarFileInfo", kText, {}, 0, [&] {
      block(out, u"Translation", kBinary, translation, static_cast<uint16_t>(translation.size()), [] {});
    });
  });
  return out;
}

VersionReport read_version_resource(const Bytes& resource) {
  ReadBlock root = read_block(resource, 0, resource.size());
  if (root.key != "VS_VERSION_INFO") throw ToolError("the version information is malformed");
  VersionReport report;
  if (root.value_end - root.value >= kFixedSize && get_u32le(resource, root.value) == kFixedSignature) {
    report.file_version = version_at(resource, root.value + 8);
    report.product_version = version_at(resource, root.value + 16);
  }
  for (const ReadBlock& info : children_of(resource, root)) {
    if (info.key != "StringFileInfo") continue;
    for (const ReadBlock& table : children_of(resource, info)) {
      for (const ReadBlock& string : children_of(resource, table)) {
        report.strings.emplace_back(string.key, text_of(resource, string));
      }
    }
  }
  return report;
}

}  // namespace msiboot_tool
