#pragma once
// Writes payload manifests: packed entries of an id, a byte length and a UTF-16LE text. Package
// texts read architecture\languages\folder\title, cabinet texts cab\ids\file name. Tests also
// write raw and malformed entries with it.
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

// UTF-8 text as UTF-16LE bytes, with a terminating NUL unit when asked.
std::vector<uint8_t> utf16le(const std::string& text, bool terminate);

std::string package_text(const std::string& architecture, const std::string& languages,
                         const std::string& folder, const std::string& title);

// Ids are joined with ';'.
std::string cabinet_text(const std::vector<uint32_t>& package_ids, const std::string& file_name);

class ManifestWriter {
 public:
  // An entry whose text is written as UTF-16LE, NUL-terminated unless terminate is false.
  ManifestWriter& entry(uint32_t id, const std::string& text, bool terminate = true);
  ManifestWriter& package(uint32_t id, const std::string& architecture,
                          const std::string& languages, const std::string& folder,
                          const std::string& title);
  ManifestWriter& cabinet(uint32_t id, const std::vector<uint32_t>& package_ids,
                          const std::string& file_name);
  // An entry header claiming length text bytes, followed by the given bytes (which may be fewer).
  ManifestWriter& raw_entry(uint32_t id, uint32_t length, const std::vector<uint8_t>& bytes);
  // Bytes appended as they are, for example a header cut short.
  ManifestWriter& raw_bytes(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace msiboot_tool
