#pragma once
// One piece of a record's deflate stream, made on its own so that pieces can be made on every
// core: deflated by libdeflate, or stored when deflate would not shrink it. A piece that is not
// the record's last ends on a byte boundary without ending the stream, so that the pieces laid
// end to end are one deflate stream.
#include <cstddef>
#include <cstdint>

#include "files/byte_buffer.h"

namespace msiboot_tool {

// libdeflate's levels: 0 stores everything, 12 is the smallest and slowest.
constexpr int kDefaultLevel = 6;
constexpr int kMaxLevel = 12;

struct DeflatedPiece {
  Bytes bytes;
  bool compressed = false;  // else stored blocks
};

// level 0 stores every piece.
DeflatedPiece deflate_piece(const uint8_t* content, size_t length, bool last, int level);

}  // namespace msiboot_tool
