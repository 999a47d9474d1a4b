#pragma once
// The data and signature fields of a container's records, made on every core and handed on in
// order as they are made. A record's zlib stream is deflated (libdeflate) in independent 1 MiB
// pieces, each ending on a byte boundary inside the one stream (the last one ends it); a piece
// that a quick test shows deflate would not shrink (a cabinet, mostly) is written as stored
// blocks, which costs little more than a copy. Only a few pieces per core are held at a time,
// whatever the record's size. The bytes depend on the content and the level only, never on the
// number of threads.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "container/deflate_piece.h"
#include "container/layout.h"

namespace msiboot_tool {

// Takes the container's bytes in order.
using ContainerSink = std::function<void(const uint8_t* bytes, size_t length)>;

// Returns the signature of a record whose content has the given 32-byte SHA-256. It may be called
// from several threads at once.
using DigestSigner = std::function<Bytes(const uint8_t* digest)>;

struct PackSettings {
  int level = kDefaultLevel;
  PackProgress progress;
};

// Writes every record (data field, signature field, trailer) to sink in the order given, reading
// a record with a file piece by piece. A file whose content is not the digest its record expects
// (it changed since it was hashed) fails. Returns the container's size.
uint64_t stream_container(const std::vector<ContainerRecord>& records, const DigestSigner& sign,
                          const ContainerSink& sink, const PackSettings& settings = {});

struct PackedRecord {
  std::vector<Bytes> data;  // zlib stream of the content
  Bytes signature;          // of the content
};

// Every in-memory record's zlib stream and signature (sign may be empty: no signature).
std::vector<PackedRecord> pack_records(const std::vector<ContainerRecord>& records,
                                       const ContentSigner& sign,
                                       const PackProgress& progress = {});

}  // namespace msiboot_tool
