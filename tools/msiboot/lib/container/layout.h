#pragma once
// Lays payload containers out byte for byte: each record's data field (a zlib stream of its
// content), its signature field and its 28-byte trailer, in the order given. Signing is left to a
// callback so that this part builds without a crypto library.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "files/byte_buffer.h"

namespace msiboot_tool {

struct ContainerRecord {
  ContainerRecord() = default;
  ContainerRecord(bool is_manifest, uint32_t record_id, Bytes bytes = {})
      : manifest(is_manifest), id(record_id), content(std::move(bytes)) {}
  bool manifest = false;  // manifest record type, else file record type
  uint32_t id = 0;
  Bytes content;
  std::string file;        // when set, the content is this file's first file_size bytes, read in pieces
  uint64_t file_size = 0;
  Bytes digest;            // when set, the SHA-256 the content must have (it was bound before)
};

// Returns the signature of the given bytes (256 bytes for the RSA-2048 payload key). It may be
// called from several threads at once.
using ContentSigner = std::function<Bytes(const Bytes&)>;

// Called with the content bytes just deflated, from any thread.
using PackProgress = std::function<void(size_t bytes)>;

// Appends a bare 28-byte trailer: the 16 type bytes, the id and the two lengths as given.
void append_trailer(Bytes& out, const uint8_t* type, uint32_t id, uint32_t signature_length,
                    uint32_t data_length);

// A container as the byte strings it is made of, in order: written one after another they are the
// container, with no need to join a payload of hundreds of megabytes into one block first.
using ContainerParts = std::vector<Bytes>;

// Every record compressed (record_packing.h) and signed over its content; the same records and
// signer give the same bytes.
ContainerParts container_parts(const std::vector<ContainerRecord>& records, const ContentSigner& sign,
                               const PackProgress& progress = {});

Bytes join_parts(const ContainerParts& parts);

}  // namespace msiboot_tool
