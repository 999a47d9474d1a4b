#pragma once
// Whether the bootstrapper part of a setup.exe is the released msiboot stub. The stub builds
// reproducibly, so this is a byte-for-byte comparison with the released stub's image, leaving out
// only what packing and signing rewrite: the key slot, the PE checksum, the certificate directory
// entry, and everything after the image (the certificate table, an appended container). A branded
// stub is compared with the released stub branded with the setup.exe's own icon and version
// information: branding rewrites the resource section as a whole, deterministically.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/byte_buffer.h"

namespace msiboot_tool {

struct StubProvenance {
  bool compared = false;  // false: the released stub could not be read (problem says why)
  bool released = false;  // the image part equals the released stub's outside the ignored ranges
  bool branded = false;   // its icon or version information differs from the released stub's
  std::string version;    // of the released stub: this tool's
  std::string key_sha256;  // when released: the stamped key's SHA-256, empty when the slot is empty
  uint64_t differing_bytes = 0;   // when not released; a length difference counts its bytes
  uint64_t first_difference = 0;  // file offset of the first of them
  std::string stub_file;  // the released stub compared with
  std::string problem;
};

// Compares the setup.exe's bytes, read in place, with the released stub's.
StubProvenance compare_with_released_stub(const uint8_t* setup, size_t size, const Bytes& stub);

// The same against the stub file at stub_path, or the one installed beside the tool when it is
// empty. Never throws for the stub: a stub that cannot be read or is no stub is the problem.
StubProvenance compare_with_stub_file(const uint8_t* setup, size_t size, const std::string& stub_path);

}  // namespace msiboot_tool
