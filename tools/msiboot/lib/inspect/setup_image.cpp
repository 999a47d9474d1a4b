#include "inspect/setup_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "files/tool_error.h"
#include "payload/payload_discovery.h"
#include "platform/heap.h"

namespace msiboot_tool {
namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

[[noreturn]] void cannot_read(const std::string& path) {
  throw ToolError(path, std::string("cannot read it (") + std::strerror(errno) + ")");
}

}  // namespace

SetupImage::SetupImage(const std::string& path) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) cannot_read(path);
  long size = std::ftell(file.get());
  if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) cannot_read(path);
  if (static_cast<unsigned long>(size) > UINT32_MAX) {
    throw ToolError(path, "larger than 4 GiB, which no stub reads");
  }
  size_ = static_cast<uint32_t>(size);
  block_ = static_cast<uint8_t*>(heap_alloc(kHeapFixed, size_));
  if (block_ == nullptr) throw ToolError(path, "not enough memory to read it");
  bytes_ = block_;
  if (std::fread(block_, 1, size_, file.get()) != size_) {
    heap_free(block_);
    cannot_read(path);
  }
}

SetupImage::~SetupImage() {
  free_blobs(set_);
  heap_free(block_);
}

Status SetupImage::discover(const Bytes& key) {
  key_ = key;
  set_.key_blob = key_.data();
  return discover_payload(set_, &block_, size_);
}

}  // namespace msiboot_tool
