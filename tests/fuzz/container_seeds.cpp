// Writes the seed corpus of the container fuzz target: containers from the container writer,
// valid and with each deliberate fault, behind control bytes that look up each record under
// each flag combination, and plain zlib streams for the inflation.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "seed_corpus.h"
#include "test_bytes.h"
#include "test_keys.h"

namespace {

using namespace msiboot_tool;
using msiboot_test::RecordFault;
using msiboot_test::zlib_compress;

void write_seed(const std::filesystem::path& dir, const std::string& name, uint8_t control,
                const Bytes& container) {
  Bytes seed{control};
  seed.insert(seed.end(), container.begin(), container.end());
  write_seed_file(dir, name, seed);
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path dir = corpus_dir_from(argc, argv);
  if (dir.empty()) return 2;
  SigningKey key;
  if (!load_signing_key(msiboot_test::test_key_path(), &key)) {
    fprintf(stderr, "cannot read %s\n", msiboot_test::test_key_path().c_str());
    return 1;
  }

  const Bytes manifest = text("x64\\1033\\{6B29FC40-CA47-1067-B31D-00DD010662DA}\\Example");
  Bytes package(3000);
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<uint8_t>(i * i % 251);
  int n = 0;
  // Every fault, from None to the last.
  for (int f = 0; f <= static_cast<int>(RecordFault::TrailingBytes); ++f) {
    const RecordFault fault = static_cast<RecordFault>(f);
    Bytes container = msiboot_test::write_container(
        {{true, 0, manifest}, {false, 1000, package, fault}, {false, 1001, text("cab"), fault}}, key);
    for (uint8_t flags = 0; flags < 4; ++flags) {
      write_seed(dir, "file-" + std::to_string(n), flags, container);
      write_seed(dir, "manifest-" + std::to_string(n), static_cast<uint8_t>(flags | 4), container);
      write_seed(dir, "second-file-" + std::to_string(n), static_cast<uint8_t>(flags | 0x10), container);
      ++n;
    }
  }
  write_seed(dir, "stream", 8, zlib_compress(package));
  write_seed(dir, "stream-empty", 8, zlib_compress({}));
  write_seed(dir, "empty", 4, {});
  return 0;
}
