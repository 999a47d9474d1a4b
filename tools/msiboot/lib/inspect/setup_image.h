#pragma once
// A setup.exe read once, as the stub reads its own file: one local-heap block, which the stub's
// payload discovery takes over when the whole file is the container, so that the file is held in
// memory once.
#include <cstdint>
#include <span>
#include <string>

#include "files/byte_buffer.h"
#include "payload/payload_blob.h"
#include "shared/status.h"

namespace msiboot_tool {

class SetupImage {
 public:
  // Reads the file; throws ToolError naming it when it cannot be read or reaches 4 GiB.
  explicit SetupImage(const std::string& path);
  ~SetupImage();
  SetupImage(const SetupImage&) = delete;
  SetupImage& operator=(const SetupImage&) = delete;

  // The file's bytes, whoever holds the block, for as long as the image lives.
  const uint8_t* data() const { return bytes_; }
  uint32_t size() const { return size_; }
  std::span<const uint8_t> bytes() const { return {bytes_, size_}; }

  // The stub's payload discovery, checking records against key (a PUBLICKEYBLOB) in place of the
  // built-in key. Run once; the set it fills is payload().
  Status discover(const Bytes& key);
  const PayloadSet& payload() const { return set_; }

 private:
  uint8_t* block_ = nullptr;  // null once the payload set holds it
  const uint8_t* bytes_ = nullptr;
  uint32_t size_ = 0;
  Bytes key_;
  PayloadSet set_ = {};
};

}  // namespace msiboot_tool
