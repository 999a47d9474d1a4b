#include "manifest_writer.h"

#include <openssl/sha.h>

#include <stdexcept>

#include "byte_buffer.h"

namespace msiboot_tool {

namespace {

void put_unit(std::vector<uint8_t>& out, uint32_t unit) {
  out.push_back(static_cast<uint8_t>(unit));
  out.push_back(static_cast<uint8_t>(unit >> 8));
}

// Decodes one UTF-8 sequence starting at text[i] and advances i past it.
uint32_t next_code_point(const std::string& text, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<uint8_t>(text.at(k)); };
  uint8_t lead = byte(i);
  int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || text.size() - i <= static_cast<size_t>(extra)) {
    throw std::invalid_argument("manifest text is not UTF-8");
  }
  uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (byte(i + static_cast<size_t>(k)) & 0x3F);
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

}  // namespace

std::vector<uint8_t> utf16le(const std::string& text, bool terminate) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = next_code_point(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put_unit(out, 0xD800 + (cp >> 10));
      put_unit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      put_unit(out, cp);
    }
  }
  if (terminate) put_unit(out, 0);
  return out;
}

std::string binding_field(const std::vector<uint8_t>& content) {
  static const char digits[] = "0123456789abcdef";
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(content.data(), content.size(), digest);
  std::string field = "sha256=";
  for (uint8_t b : digest) {
    field += digits[b >> 4];
    field += digits[b & 15];
  }
  return field + ":" + std::to_string(content.size());
}

std::string package_text(const std::string& architecture, const std::string& languages,
                         const std::string& folder, const std::string& title,
                         const std::string& binding) {
  std::string text = architecture + "\\" + languages + "\\" + folder + "\\" + title;
  return binding.empty() ? text : text + "\\" + binding;
}

std::string cabinet_text(const std::vector<uint32_t>& package_ids, const std::string& file_name,
                         const std::string& binding) {
  std::string ids;
  for (uint32_t id : package_ids) ids += (ids.empty() ? "" : ";") + std::to_string(id);
  std::string text = "cab\\" + ids + "\\" + file_name;
  return binding.empty() ? text : text + "\\" + binding;
}

ManifestWriter& ManifestWriter::entry(uint32_t id, const std::string& text, bool terminate) {
  std::vector<uint8_t> units = utf16le(text, terminate);
  append_u32le(bytes_, id);
  append_u32le(bytes_, checked_u32(units.size(), "manifest entry"));
  bytes_.insert(bytes_.end(), units.begin(), units.end());
  return *this;
}

ManifestWriter& ManifestWriter::package(uint32_t id, const std::string& architecture,
                                        const std::string& languages, const std::string& folder,
                                        const std::string& title, const std::string& binding) {
  return entry(id, package_text(architecture, languages, folder, title, binding));
}

ManifestWriter& ManifestWriter::cabinet(uint32_t id, const std::vector<uint32_t>& package_ids,
                                        const std::string& file_name, const std::string& binding) {
  return entry(id, cabinet_text(package_ids, file_name, binding));
}

}  // namespace msiboot_tool
