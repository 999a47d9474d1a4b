#include "inspect/setup_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <stdexcept>

#include "files/tool_error.h"
#include "payload/payload_discovery.h"

namespace msiboot_tool {
namespace {

// The mappings alive, for release_read_pages.
std::set<std::pair<uint8_t*, uint32_t>>& live_mappings() {
  static std::set<std::pair<uint8_t*, uint32_t>> mappings;
  return mappings;
}

[[noreturn]] void cannot_read(const std::string& path, int error) {
  throw ToolError(path, std::string("cannot read it (") + std::strerror(error) + ")");
}

}  // namespace

SetupImage::SetupImage(const std::string& path) {
  static uint8_t empty = 0;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) cannot_read(path, errno);
  struct stat info = {};
  int error = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
  if (error == 0 && static_cast<uint64_t>(info.st_size) > UINT32_MAX) {
    close(fd);
    throw ToolError(path, "larger than 4 GiB, which no stub reads");
  }
  size_ = static_cast<uint32_t>(info.st_size);
  bytes_ = &empty;
  if (error == 0 && size_ != 0) {
    void* mapping = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    error = mapping == MAP_FAILED ? errno : 0;
    if (error == 0) {
      bytes_ = static_cast<uint8_t*>(mapping);
      mapped_ = true;
      live_mappings().insert({bytes_, size_});
    }
  }
  close(fd);
  if (error != 0) cannot_read(path, error);
}

SetupImage::~SetupImage() {
  // A container that is the whole file was taken over by the set: it is the mapping, not a block.
  for (uint32_t i = 0; i < set_.blob_count; ++i) {
    if (set_.blobs[i].data == bytes_) set_.blobs[i].data = nullptr;
  }
  free_blobs(set_);
  if (!mapped_) return;
  live_mappings().erase({bytes_, size_});
  munmap(bytes_, size_);
}

Status SetupImage::discover(const Bytes& key) {
  key_ = key;
  set_.key_blob = key_.data();
  uint8_t* image = bytes_;  // never freed through this pointer: see the destructor
  return discover_payload(set_, &image, size_);
}

void release_read_pages() {
  for (const auto& [bytes, size] : live_mappings()) madvise(bytes, size, MADV_DONTNEED);
}

}  // namespace msiboot_tool
