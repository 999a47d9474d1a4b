#pragma once
// The records of a bundle, planned before any file is read: a record per package, first choice
// first, each followed by the cabinets it names that no package before it carries. A cabinet file
// that several packages name is carried once, its entry listing each of their ids. Record ids
// count from 1000 in record order; every entry is bound to its record's content.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "container/content_digest.h"
#include "container/layout.h"
#include "packages/package_plan.h"

namespace msiboot_tool {

struct BundlePlan {
  struct Cabinet {
    uint32_t id;
    std::string name;                   // the file name the stub writes it under
    std::vector<uint32_t> package_ids;  // of every package that names it
  };
  std::vector<const PlannedPackage*> packages;  // as given, which must outlive the plan
  std::vector<uint32_t> package_ids;
  std::vector<Cabinet> cabinets;
  std::vector<std::pair<uint32_t, std::string>> files;  // record id and file, in record order
};

// Cabinets are the same file when their paths lead to the same file (links and ".." resolved).
BundlePlan plan_bundle(const std::vector<PlannedPackage>& packages);

// The manifest's entries, each ending with its record's binding field where bindings (by record id)
// has one.
Bytes bundle_manifest(const BundlePlan& plan, const std::vector<std::pair<uint32_t, std::string>>& bindings = {});

// Cabinets of the same content (SHA-256 and size) stored once: a cabinet with the content of an
// earlier one keeps its entry, named with the earlier one's id. Packages keep ids of their own,
// since their cabinets' entries and inspect name a package by its id. digests are those of
// plan.files, which then keeps one file per record.
void share_identical_records(BundlePlan& plan, std::vector<ContentDigest>& digests);

// The manifest record, bound to the digests of plan.files, then a file record for each file, read
// from the file when it is written and checked against its digest.
std::vector<ContainerRecord> bundle_file_records(const BundlePlan& plan, const std::vector<ContentDigest>& digests);

// The content of a file of the plan.
using ContentReader = std::function<Bytes(const std::string& file)>;

// The same records held in memory: identical ones shared, the manifest bound to the contents.
std::vector<ContainerRecord> bundle_records(BundlePlan plan, const ContentReader& read);

}  // namespace msiboot_tool
