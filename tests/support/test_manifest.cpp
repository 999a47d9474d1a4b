#include "test_manifest.h"

namespace msiboot_test {

TestManifest& TestManifest::add(const msiboot_tool::ManifestWriter& written) {
  return raw_bytes(written.bytes());
}

std::string TestManifest::bound(uint32_t id, const std::string& binding) const {
  return binding.empty() && content_ ? msiboot_tool::binding_field(content_(id)) : binding;
}

TestManifest& TestManifest::entry(uint32_t id, const std::string& text, bool terminate) {
  return add(msiboot_tool::ManifestWriter().entry(id, text, terminate));
}

TestManifest& TestManifest::package(uint32_t id, const std::string& architecture, const std::string& languages,
                                    const std::string& folder, const std::string& title,
                                    const std::string& binding) {
  return add(msiboot_tool::ManifestWriter().package(id, architecture, languages, folder, title, bound(id, binding)));
}

TestManifest& TestManifest::cabinet(uint32_t id, const std::vector<uint32_t>& package_ids,
                                    const std::string& file_name, const std::string& binding) {
  return add(msiboot_tool::ManifestWriter().cabinet(id, package_ids, file_name, bound(id, binding)));
}

TestManifest& TestManifest::raw_entry(uint32_t id, uint32_t length, const std::vector<uint8_t>& bytes) {
  for (uint32_t value : {id, length}) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(value >> shift));
  }
  return raw_bytes(bytes);
}

TestManifest& TestManifest::raw_bytes(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

}  // namespace msiboot_test
