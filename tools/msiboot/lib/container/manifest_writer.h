#pragma once
// Writes payload manifests: packed entries of an id, a byte length and a UTF-16LE text. Package
// texts read architecture\languages\folder\title, cabinet texts cab\ids\file name; each then
// ends with the binding field sha256=HEX:SIZE of its record's content when one is given (the pack
// command always gives it).
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

// The binding field of a record's content: "sha256=" 64 lower-case hex digits ":" its length.
std::string binding_field(const std::vector<uint8_t>& content);

// binding is a field appended after a backslash when it is not empty.
std::string package_text(const std::string& architecture, const std::string& languages,
                         const std::string& folder, const std::string& title,
                         const std::string& binding = {});

// Ids are joined with ';'.
std::string cabinet_text(const std::vector<uint32_t>& package_ids, const std::string& file_name,
                         const std::string& binding = {});

class ManifestWriter {
 public:
  // An entry whose text is written as UTF-16LE, NUL-terminated unless terminate is false.
  ManifestWriter& entry(uint32_t id, const std::string& text, bool terminate = true);
  ManifestWriter& package(uint32_t id, const std::string& architecture,
                          const std::string& languages, const std::string& folder,
                          const std::string& title, const std::string& binding = {});
  ManifestWriter& cabinet(uint32_t id, const std::vector<uint32_t>& package_ids,
                          const std::string& file_name, const std::string& binding = {});
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace msiboot_tool
