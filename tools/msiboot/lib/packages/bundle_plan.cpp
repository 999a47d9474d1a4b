#include "packages/bundle_plan.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "container/manifest_writer.h"

namespace msiboot_tool {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFirstId = 1000;

}  // namespace

BundlePlan plan_bundle(const std::vector<PlannedPackage>& packages) {
  BundlePlan plan;
  std::map<fs::path, size_t> cabinet_index;  // the file -> its place in cabinets
  uint32_t id = kFirstId;
  for (const PlannedPackage& package : packages) {
    uint32_t package_id = id++;
    plan.packages.push_back(&package);
    plan.package_ids.push_back(package_id);
    plan.files.emplace_back(package_id, package.path);
    for (size_t i = 0; i < package.cabinets.size(); ++i) {
      const std::string& path = package.cabinets[i];
      auto [found, added] = cabinet_index.try_emplace(fs::weakly_canonical(path), plan.cabinets.size());
      if (added) {
        std::string name = i < package.cabinet_names.size() ? package.cabinet_names[i] : fs::path(path).filename().string();
        plan.cabinets.push_back({id, name, {}});
        plan.files.emplace_back(id++, path);
      }
      plan.cabinets[found->second].package_ids.push_back(package_id);
    }
  }
  return plan;
}

Bytes bundle_manifest(const BundlePlan& plan, const std::vector<std::pair<uint32_t, std::string>>& bindings) {
  auto binding_of = [&bindings](uint32_t id) {
    auto found = std::find_if(bindings.begin(), bindings.end(), [id](const auto& b) { return b.first == id; });
    return found == bindings.end() ? std::string() : found->second;
  };
  ManifestWriter manifest;
  for (size_t i = 0; i < plan.packages.size(); ++i) {
    const PlannedPackage& p = *plan.packages[i];
    uint32_t id = plan.package_ids[i];
    manifest.package(id, p.architecture, p.languages, p.folder, p.title, binding_of(id));
  }
  for (const BundlePlan::Cabinet& c : plan.cabinets) {
    manifest.cabinet(c.id, c.package_ids, c.name, binding_of(c.id));
  }
  return manifest.bytes();
}

std::vector<ContainerRecord> bundle_records(const BundlePlan& plan, const ContentReader& read) {
  std::vector<ContainerRecord> records = {{true, 0, {}}};
  std::vector<std::pair<uint32_t, std::string>> bindings;
  for (const auto& [id, file] : plan.files) {
    records.push_back({false, id, read(file)});
    bindings.emplace_back(id, binding_field(records.back().content));
  }
  records.front().content = bundle_manifest(plan, bindings);
  return records;
}

}  // namespace msiboot_tool
