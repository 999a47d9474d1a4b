#include "packages/bundle_plan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "container/manifest_writer.h"

namespace msiboot_tool {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFirstId = 1000;

// One file for each record an entry names, in record order.
void keep_named_files(BundlePlan& plan, std::vector<ContentDigest>& digests) {
  std::set<uint32_t> named(plan.package_ids.begin(), plan.package_ids.end());
  for (const BundlePlan::Cabinet& c : plan.cabinets) named.insert(c.id);
  std::vector<std::pair<uint32_t, std::string>> files;
  std::vector<ContentDigest> kept;
  for (size_t i = 0; i < plan.files.size(); ++i) {
    if (named.erase(plan.files[i].first) == 0) continue;
    files.push_back(plan.files[i]);
    kept.push_back(digests[i]);
  }
  plan.files = std::move(files);
  digests = std::move(kept);
}

std::vector<std::pair<uint32_t, std::string>> bindings_of(const BundlePlan& plan,
                                                          const std::vector<ContentDigest>& digests) {
  std::vector<std::pair<uint32_t, std::string>> bindings;
  for (size_t i = 0; i < plan.files.size(); ++i) {
    RecordBinding binding = {kBindingPresent, checked_u32(digests[i].size, "a record"), {}};
    std::copy(digests[i].sha256.begin(), digests[i].sha256.end(), binding.digest);
    bindings.emplace_back(plan.files[i].first, binding_text(binding));
  }
  return bindings;
}

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

void share_identical_records(BundlePlan& plan, std::vector<ContentDigest>& digests) {
  std::map<uint32_t, ContentDigest> content_of;
  for (size_t i = 0; i < plan.files.size(); ++i) content_of[plan.files[i].first] = digests[i];
  std::map<ContentDigest, uint32_t> first_cabinet;
  for (BundlePlan::Cabinet& c : plan.cabinets) c.id = first_cabinet.try_emplace(content_of[c.id], c.id).first->second;
  keep_named_files(plan, digests);
}

std::vector<ContainerRecord> bundle_file_records(const BundlePlan& plan, const std::vector<ContentDigest>& digests) {
  std::vector<ContainerRecord> records = {{true, 0, bundle_manifest(plan, bindings_of(plan, digests))}};
  for (size_t i = 0; i < plan.files.size(); ++i) {
    ContainerRecord& record = records.emplace_back();
    record.id = plan.files[i].first;
    record.file = plan.files[i].second;
    record.file_size = digests[i].size;
    record.digest = digests[i].sha256;
  }
  return records;
}

std::vector<ContainerRecord> bundle_records(BundlePlan plan, const ContentReader& read) {
  std::vector<Bytes> contents;
  std::vector<ContentDigest> digests;
  for (const auto& file : plan.files) digests.push_back(content_digest(contents.emplace_back(read(file.second))));
  std::map<uint32_t, Bytes*> content_of;
  for (size_t i = 0; i < plan.files.size(); ++i) content_of[plan.files[i].first] = &contents[i];
  share_identical_records(plan, digests);
  std::vector<ContainerRecord> records = bundle_file_records(plan, digests);
  for (ContainerRecord& record : records) {
    if (record.manifest) continue;
    record.content = std::move(*content_of[record.id]);
    record.file.clear();
    record.digest.clear();
  }
  return records;
}

}  // namespace msiboot_tool
