#pragma once
// Manifests for the readers' tests: entries written by the tool's manifest writer, and what the
// tool never writes (an entry header whose length lies, bytes as they are), in any order.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "container/manifest_writer.h"

namespace msiboot_test {

class TestManifest {
 public:
  using Content = std::function<std::vector<uint8_t>(uint32_t id)>;

  // With content, package and cabinet entries given no binding are bound to content(id), as pack
  // binds every entry; entry() writes a text as it is, bound or not.
  explicit TestManifest(Content content = {}) : content_(std::move(content)) {}

  TestManifest& entry(uint32_t id, const std::string& text, bool terminate = true);
  TestManifest& package(uint32_t id, const std::string& architecture, const std::string& languages,
                        const std::string& folder, const std::string& title, const std::string& binding = {});
  TestManifest& cabinet(uint32_t id, const std::vector<uint32_t>& package_ids, const std::string& file_name,
                        const std::string& binding = {});
  // An entry header claiming length text bytes, followed by the given bytes (which may be fewer).
  TestManifest& raw_entry(uint32_t id, uint32_t length, const std::vector<uint8_t>& bytes);
  // Bytes appended as they are, for example a header cut short.
  TestManifest& raw_bytes(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  TestManifest& add(const msiboot_tool::ManifestWriter& written);
  std::string bound(uint32_t id, const std::string& binding) const;
  Content content_;
  std::vector<uint8_t> bytes_;
};

}  // namespace msiboot_test
