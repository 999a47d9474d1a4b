// Writes the seed corpus of the manifest fuzz target: typical and edge-case manifests in the
// target's input form (language selector, split byte, manifest bytes).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "container/manifest_writer.h"
#include "seed_corpus.h"
#include "test_bytes.h"
#include "test_manifest.h"

namespace {

using msiboot_test::TestManifest;

void write_seed(const std::filesystem::path& dir, const std::string& name, uint8_t language,
                const Bytes& first, const Bytes& second = {}) {
  Bytes seed{language, static_cast<uint8_t>(second.empty() ? 0 : first.size())};
  seed.insert(seed.end(), first.begin(), first.end());
  seed.insert(seed.end(), second.begin(), second.end());
  write_seed_file(dir, name, seed);
}

// Entries bound to the target's file records: record id holds id - 999 bytes 'f'.
TestManifest bound() {
  return TestManifest([](uint32_t id) { return Bytes(id > 999 && id < 1004 ? id - 999 : 0, 'f'); });
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path dir = corpus_dir_from(argc, argv);
  if (dir.empty()) return 2;
  // Language selectors: 0 is 1033, 1 is 1049, 2 is 2057.
  write_seed(dir, "package-and-cabinet", 0,
             bound()
                 .package(1000, "x64", "1033;1049", "{12345678-1234-1234-1234-123456789012}", "Product")
                 .cabinet(1001, {1000}, "data1.cab")
                 .bytes());
  write_seed(dir, "three-passes", 1,
             bound()
                 .package(1000, "Intel", "1049", "{I}", "Intel")
                 .package(1001, "x64", "2057", "{A}", "A")
                 .package(1002, "X64", "1033", "{B}", "B")
                 .cabinet(1003, {1001, 1002, 1002}, "shared.cab")
                 .bytes());
  write_seed(dir, "two-blobs", 2, bound().cabinet(1001, {1000}, "a.cab").bytes(),
             bound()
                 .package(1000, "x64", "1033", "{P}", "Title")
                 .cabinet(1002, {1000}, "b.cab")
                 .cabinet(1003, {1000}, "missing-in-blob.cab")
                 .bytes());
  write_seed(dir, "edge-fields", 0,
             bound()
                 .entry(1000, "x64\\\\1033\\{E}\\E")
                 .entry(1001, "x64\\1033\\{F}\\" + std::string(256, 't'))
                 .raw_entry(1002, 1, {'x'})
                 .entry(1003, "x64\\ +1033;;x\\{G}\\G", false)
                 .bytes());
  write_seed(dir, "malformed", 0,
             bound()
                 .package(1000, "x64", "1049", "{A}", "A")
                 .raw_entry(1001, 400, {1, 0, 2, 0})
                 .bytes(),
             bound().package(1000, "x64", "1033", "{B}", "B").bytes());
  return 0;
}
