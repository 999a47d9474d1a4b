#pragma once
// A setup.exe read as the stub reads its own file, as one block of bytes: here the file mapped
// read-only, so that a file of any size costs the pages being read, not its size. The stub's
// payload discovery takes the block over when the whole file is the container; the image unmaps
// it all the same.
#include <cstdint>
#include <span>
#include <string>

#include "files/byte_buffer.h"
#include "payload/payload_blob.h"
#include "shared/status.h"

namespace msiboot_tool {

class SetupImage {
 public:
  // Maps the file; throws ToolError naming it when it cannot be read or reaches 4 GiB.
  explicit SetupImage(const std::string& path);
  ~SetupImage();
  SetupImage(const SetupImage&) = delete;
  SetupImage& operator=(const SetupImage&) = delete;

  // The file's bytes, for as long as the image lives.
  const uint8_t* data() const { return bytes_; }
  uint32_t size() const { return size_; }
  std::span<const uint8_t> bytes() const { return {bytes_, size_}; }

  // The stub's payload discovery, checking records against key (a PUBLICKEYBLOB) in place of the
  // built-in key. Run once; the set it fills is payload().
  Status discover(const Bytes& key);
  const PayloadSet& payload() const { return set_; }

 private:
  uint8_t* bytes_ = nullptr;
  uint32_t size_ = 0;
  bool mapped_ = false;
  Bytes key_;
  PayloadSet set_ = {};
};

// Gives back the pages of every mapped setup.exe read so far (the system keeps them cached):
// called as records are checked, so that the pages of a record gone by are not held.
void release_read_pages();

}  // namespace msiboot_tool
