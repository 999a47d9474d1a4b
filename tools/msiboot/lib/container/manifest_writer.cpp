#include "container/manifest_writer.h"

#include <openssl/sha.h>

#include <stdexcept>

#include "files/byte_buffer.h"
#include "files/utf16_text.h"

namespace msiboot_tool {

std::string binding_field(const std::vector<uint8_t>& content) {
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(content.data(), content.size(), digest);
  return "sha256=" + hex_text(digest) + ":" + std::to_string(content.size());
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
