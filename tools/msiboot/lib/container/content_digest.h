#pragma once
// The SHA-256 and size of a record's content, taken before the container is written: the manifest,
// which comes first, binds every record by them, and identical records are found by them.
#include <cstdint>
#include <string>
#include <vector>

#include "files/byte_buffer.h"

namespace msiboot_tool {

struct ContentDigest {
  uint64_t size = 0;
  Bytes sha256;
  bool operator<(const ContentDigest& other) const {
    return size != other.size ? size < other.size : sha256 < other.sha256;
  }
  bool operator==(const ContentDigest& other) const = default;
};

ContentDigest content_digest(const Bytes& content);

// Each file's, read in pieces, the files on every core. Throws ToolError naming a file that
// cannot be read.
std::vector<ContentDigest> file_digests(const std::vector<std::string>& paths);

}  // namespace msiboot_tool
