#include "bundle.h"

#include "manifest_writer.h"
#include "test_keys.h"
#include "test_signing.h"

using msiboot_tool::binding_field;

std::vector<uint8_t> bundle_container(const std::vector<BundlePackage>& packages) {
  msiboot_tool::ManifestWriter manifest;
  std::vector<msiboot_test::TestRecord> files;
  for (size_t i = 0; i < packages.size(); ++i) {
    const BundlePackage& package = packages[i];
    uint32_t id = 1000 + 100 * static_cast<uint32_t>(i);
    manifest.package(id, package.architecture, package.languages, package.folder, package.title,
                     binding_field(package.msi));
    files.push_back({false, id, package.msi});
    for (size_t c = 0; c < package.cabinets.size(); ++c) {
      uint32_t cabinet_id = id + 1 + static_cast<uint32_t>(c);
      manifest.cabinet(cabinet_id, {id}, package.cabinets[c].name,
                       binding_field(package.cabinets[c].content));
      files.push_back({false, cabinet_id, package.cabinets[c].content});
    }
  }
  std::vector<msiboot_test::TestRecord> records = {{true, 0, manifest.bytes()}};
  records.insert(records.end(), files.begin(), files.end());
  return msiboot_test::write_container(records, msiboot_test::test_signing_key());
}

std::vector<uint8_t> incompressible_bytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
  for (uint8_t& b : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<uint8_t>(state >> 32);
  }
  return bytes;
}

