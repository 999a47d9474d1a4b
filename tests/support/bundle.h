#pragma once
// Whole bundles for the end-to-end tests and benchmarks: packages with their cabinets in one
// signed container, as the packaging lays them out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// A signed container carrying the packages: package i has id 1000 + 100 i, its cabinets the ids
// after it. Every entry carries its record's binding field, as the pack command writes it.
std::vector<uint8_t> bundle_container(const std::vector<BundlePackage>& packages);

// Bytes that deflate does not shrink, the same for the same seed.
std::vector<uint8_t> incompressible_bytes(size_t size, uint32_t seed);

