#include "container/deflate_piece.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>

#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

constexpr size_t kProbeSize = 16u << 10;
constexpr size_t kStoredBlockLimit = 65535;
constexpr size_t kInflateScratch = 64u << 10;
constexpr int kRawDeflate = -15;
constexpr int kBlockBoundary = 128;  // inflate's data_type: stopped right after a block
constexpr int kInLastBlock = 64;
constexpr int kUnusedBits = 7;

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Each thread keeps its compressor of each level and its output space: made afresh for every
// piece, their allocation and clearing cost a tenth of the packing time.
libdeflate_compressor* compressor_of(int level) {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressors[kMaxLevel + 1];
  auto& compressor = compressors[level];
  if (!compressor) compressor.reset(libdeflate_alloc_compressor(level));
  if (!compressor) throw ToolError("out of memory for deflate");
  return compressor.get();
}

// The deflate stream of bytes in at most room bytes; empty when it does not fit.
Bytes deflate_within(const uint8_t* bytes, size_t length, size_t room, int level) {
  thread_local std::unique_ptr<uint8_t[]> space;
  thread_local size_t space_size = 0;
  if (space_size < room) {
    space.reset(new uint8_t[room]);  // left unset: libdeflate writes what is read back
    space_size = room;
  }
  size_t written = libdeflate_deflate_compress(compressor_of(level), bytes, length, space.get(), room);
  return Bytes(space.get(), space.get() + written);
}

// A quick deflate of the piece's start at the fastest level: if even that saves less than one
// part in 64, the piece is taken for incompressible.
bool worth_deflating(const uint8_t* bytes, size_t length) {
  size_t probe = std::min(length, kProbeSize);
  return !deflate_within(bytes, probe, probe - probe / 64, 1).empty();
}

void append_stored(Bytes& out, const uint8_t* bytes, size_t length, bool last) {
  do {
    size_t block = std::min(length, kStoredBlockLimit);
    out.push_back(last && block == length ? 1 : 0);
    append_u16le(out, static_cast<uint16_t>(block));
    append_u16le(out, static_cast<uint16_t>(~block));
    out.insert(out.end(), bytes, bytes + block);
    bytes += block;
    length -= block;
  } while (length != 0);
}

// Where, in bits, the last block of a whole raw deflate stream starts and where the stream ends:
// inflate stops at every block boundary when asked and says how many bits of its last byte it
// left unused.
void last_block_bits(const Bytes& stream, uint64_t* last_start, uint64_t* end) {
  z_stream inflater = {};
  if (inflateInit2(&inflater, kRawDeflate) != Z_OK) throw ToolError("out of memory for inflate");
  Bytes scratch(kInflateScratch);
  inflater.next_in = const_cast<uint8_t*>(stream.data());
  inflater.avail_in = static_cast<uInt>(stream.size());
  *last_start = 0;
  *end = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    inflater.next_out = scratch.data();
    inflater.avail_out = static_cast<uInt>(scratch.size());
    rc = inflate(&inflater, Z_BLOCK);
    int state = inflater.data_type;
    if (rc != Z_OK || (state & kBlockBoundary) == 0) continue;
    // Right after a block: the next one starts here, or, after the last, the stream ends (the
    // end that Z_STREAM_END reports is already rounded up to a byte).
    uint64_t at = inflater.total_in * 8 - static_cast<uint64_t>(state & kUnusedBits);
    *((state & kInLastBlock) != 0 ? end : last_start) = at;
  }
  inflateEnd(&inflater);
  if (rc != Z_STREAM_END) throw ToolError("deflate made a stream that does not inflate");
}

// Makes a whole deflate stream a piece that more pieces follow: its last block no longer the
// last, then an empty stored block, which ends it on a byte boundary (as a sync flush does).
void continue_stream(Bytes& stream) {
  uint64_t last_start = 0, end = 0;
  last_block_bits(stream, &last_start, &end);
  stream[last_start / 8] &= static_cast<uint8_t>(~(1u << (last_start % 8)));
  // Three zero bits (not last, stored), the rest of that byte, then the empty block's lengths.
  stream.resize((end + 3 + 7) / 8, 0);
  if (end % 8 != 0) stream[end / 8] &= static_cast<uint8_t>((1u << (end % 8)) - 1);
  stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
}

}  // namespace

DeflatedPiece deflate_piece(const uint8_t* content, size_t length, bool last, int level) {
  DeflatedPiece piece;
  if (level > 0 && length != 0 && worth_deflating(content, length)) {
    // Room for the end of a piece that goes on, within what storing would cost.
    piece.bytes = deflate_within(content, length, length - length / 64, level);
    piece.compressed = !piece.bytes.empty();
  }
  if (piece.compressed && !last) continue_stream(piece.bytes);
  if (!piece.compressed) append_stored(piece.bytes, content, length, last);
  return piece;
}

}  // namespace msiboot_tool
