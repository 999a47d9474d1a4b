#pragma once
// Writes payload manifests: packed entries of an id, a byte length and a UTF-16LE text, whose
// fields, kinds and binding field are the stub's own (payload/manifest_entry.h,
// payload/record_binding.h). Each entry ends with the binding field of its record's content when
// one is given (the pack command always gives it).
#include <cstdint>
#include <string>
#include <vector>

#include "payload/record_binding.h"

namespace msiboot_tool {

// The binding field, as the stub reads it: "sha256=" 64 lower-case hex digits ":" the length.
std::string binding_text(const RecordBinding& binding);

// The binding field of a record's content: its SHA-256 and length.
std::string binding_field(const std::vector<uint8_t>& content);

// architecture\languages\folder\title, then the binding field when it is not empty.
std::string package_text(const std::string& architecture, const std::string& languages,
                         const std::string& folder, const std::string& title,
                         const std::string& binding = {});

class ManifestWriter {
 public:
  // An entry whose text is written as UTF-16LE, NUL-terminated unless terminate is false.
  ManifestWriter& entry(uint32_t id, const std::string& text, bool terminate = true);
  ManifestWriter& package(uint32_t id, const std::string& architecture,
                          const std::string& languages, const std::string& folder,
                          const std::string& title, const std::string& binding = {});
  // cab\ids\file name, the ids joined with ';', then the binding field when it is not empty.
  ManifestWriter& cabinet(uint32_t id, const std::vector<uint32_t>& package_ids,
                          const std::string& file_name, const std::string& binding = {});
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace msiboot_tool
