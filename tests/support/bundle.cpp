#include "bundle.h"

#include <map>

#include "packages/bundle_plan.h"
#include "test_keys.h"

std::vector<uint8_t> bundle_container(const std::vector<BundlePackage>& packages) {
  // pack's own plan, over names that stand for files: package i's cabinets lie in folder i.
  std::vector<msiboot_tool::PlannedPackage> planned;
  std::map<std::string, const std::vector<uint8_t>*> contents;
  std::vector<std::string> names;  // the cabinets', in the plan's order
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
    for (size_t c = 0; c < p.cabinets.size(); ++c) {
      package.cabinets.push_back(folder + "cabinet-" + std::to_string(c));
      contents[package.cabinets.back()] = &p.cabinets[c].content;
      names.push_back(p.cabinets[c].name);
    }
  }
  msiboot_tool::BundlePlan plan = msiboot_tool::plan_bundle(planned);
  // The names as the tests give them, also those pack never writes.
  for (size_t k = 0; k < plan.cabinets.size(); ++k) plan.cabinets[k].name = names[k];
  std::vector<msiboot_test::TestRecord> records;
  for (auto& record : msiboot_tool::bundle_records(plan, [&](const std::string& file) { return *contents[file]; })) {
    records.push_back({record.manifest, record.id, std::move(record.content)});
  }
  return msiboot_test::write_container(records, msiboot_test::test_signing_key());
}
