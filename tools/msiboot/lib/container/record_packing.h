#pragma once
// The data and signature fields of a container's records, made on every core. A record's zlib
// stream is deflated in independent 1 MiB pieces: each raw deflate primed with the 32 KiB before
// it and closed by a sync flush (the last one ends the stream), the pieces' Adler-32 sums
// combined. A piece that a quick test shows deflate would not shrink (a cabinet, mostly) is
// written as stored blocks, which costs little more than a copy; it is still a zlib stream the
// stub inflates. The bytes depend on the content only, never on the number of threads.
#include <cstddef>
#include <vector>

#include "container/layout.h"

namespace msiboot_tool {

struct PackedRecord {
  std::vector<Bytes> data;  // zlib stream of the content: header, pieces, Adler-32, in order
  Bytes signature;          // of the content
};

// Every record's zlib stream and signature; the signatures are taken alongside the deflation.
std::vector<PackedRecord> pack_records(const std::vector<ContainerRecord>& records,
                                       const ContentSigner& sign,
                                       const PackProgress& progress = {});

}  // namespace msiboot_tool
