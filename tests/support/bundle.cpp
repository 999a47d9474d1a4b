#include "bundle.h"

#include <map>

#include "packages/bundle_plan.h"
#include "test_keys.h"

std::vector<uint8_t> bundle_container(const std::vector<BundlePackage>& packages) {
  // pack's own plan, over names that stand for files: package i's cabinets lie in folder i.
  std::vector<msiboot_tool::PlannedPackage> planned;
  std::map<std::string, const std::vector<uint8_t>*> contents;
  for (size_t i = 0; i < packages.size(); ++i) {
    const BundlePackage& p = packages[i];
    const std::string folder = "bundle-" + std::to_string(i) + "/";
    msiboot_tool::PlannedPackage& package = planned.emplace_back();
    package.path = folder + "package.msi";
    package.architecture = p.architecture;
    package.languages = p.languages;
    package.folder = p.folder;
    package.title = p.title;
    contents[package.path] = &p.msi;
    for (const BundleFile& cabinet : p.cabinets) {
      package.cabinets.push_back(folder + cabinet.name);
      contents[folder + cabinet.name] = &cabinet.content;
    }
  }
  msiboot_tool::BundlePlan plan = msiboot_tool::plan_bundle(planned);
  std::vector<msiboot_test::TestRecord> records;
  for (auto& record : msiboot_tool::bundle_records(plan, [&](const std::string& file) { return *contents[file]; })) {
    records.push_back({record.manifest, record.id, std::move(record.content)});
  }
  return msiboot_test::write_container(records, msiboot_test::test_signing_key());
}
