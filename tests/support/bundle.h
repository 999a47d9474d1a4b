#pragma once
// Whole bundles for the end-to-end tests and benchmarks: packages with their cabinets in one
// signed container, as the packaging lays them out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "test_bytes.h"

// One package of a bundle and the cabinets that belong to it.
struct BundleFile {
  std::string name;
  std::vector<uint8_t> content;
};
struct BundlePackage {
  std::string architecture, languages, folder, title;
  std::vector<uint8_t> msi;
  std::vector<BundleFile> cabinets;
};

// A signed container carrying the packages, planned and bound as the pack command plans a bundle
// (ids from 1000 in record order, each package followed by its cabinets), the cabinets named as
// given, also with names pack refuses.
std::vector<uint8_t> bundle_container(const std::vector<BundlePackage>& packages);

