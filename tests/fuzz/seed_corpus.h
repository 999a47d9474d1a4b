#pragma once
// What every seed program shares: the corpus folder named on its command line, and seed files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The corpus folder (created) from `program corpus-dir`; empty after a usage message.
inline std::filesystem::path corpus_dir_from(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s corpus-dir\n", argv[0]);
    return {};
  }
  std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  return dir;
}

inline void write_seed_file(const std::filesystem::path& dir, const std::string& name,
                            const std::vector<uint8_t>& bytes) {
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
