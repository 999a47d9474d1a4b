#include "container/record_packing.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "container/parallel_tasks.h"
#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

constexpr size_t kPieceSize = 1u << 20;
constexpr size_t kWindowSize = 32u << 10;
constexpr size_t kProbeSize = 16u << 10;
constexpr int kRawDeflate = -15;
constexpr int kMemLevel = 8;  // zlib's default, as compress2 uses

struct Piece {
  Bytes deflated;
  uLong adler = 0;
  bool compressed = false;
};

struct PieceRef {
  size_t record;
  size_t index;
};

class Deflater {
 public:
  explicit Deflater(int level) {
    if (deflateInit2(&stream_, level, Z_DEFLATED, kRawDeflate, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw ToolError("out of memory for deflate");
    }
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void prime(const uint8_t* dictionary, size_t length) {
    if (length != 0 && deflateSetDictionary(&stream_, dictionary, static_cast<uInt>(length)) != Z_OK) {
      throw ToolError("deflate refused its dictionary");
    }
  }

  // Deflates the bytes whole with the given flush into out.
  void run(const uint8_t* bytes, size_t length, int flush, Bytes& out) {
    out.resize(deflateBound(&stream_, static_cast<uLong>(length)) + 16);
    stream_.next_in = const_cast<uint8_t*>(bytes);
    stream_.avail_in = static_cast<uInt>(length);
    stream_.next_out = out.data();
    stream_.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&stream_, flush);
    if ((flush == Z_FINISH ? rc != Z_STREAM_END : rc != Z_OK) || stream_.avail_in != 0) {
      throw ToolError("deflate failed");
    }
    out.resize(out.size() - stream_.avail_out);
  }

 private:
  z_stream stream_ = {};
};

// A quick deflate of the piece's start at the fastest level: if even that saves less than one
// part in 64, the piece is taken for incompressible.
bool worth_deflating(const uint8_t* bytes, size_t length) {
  size_t probe = std::min(length, kProbeSize);
  if (probe == 0) return true;
  Deflater quick(1);
  Bytes out;
  quick.run(bytes, probe, Z_FINISH, out);
  return out.size() < probe - probe / 64;
}

Piece deflate_piece(const Bytes& content, size_t index) {
  size_t start = index * kPieceSize;
  size_t length = std::min(kPieceSize, content.size() - start);
  bool last = start + length == content.size();
  const uint8_t* bytes = content.data() + start;
  Piece piece;
  piece.compressed = worth_deflating(bytes, length);
  Deflater deflater(piece.compressed ? Z_BEST_COMPRESSION : Z_NO_COMPRESSION);
  size_t window = std::min(start, kWindowSize);
  if (piece.compressed) deflater.prime(bytes - window, window);
  deflater.run(bytes, length, last ? Z_FINISH : Z_SYNC_FLUSH, piece.deflated);
  piece.adler = adler32(adler32(0, nullptr, 0), bytes, static_cast<uInt>(length));
  return piece;
}

size_t piece_count(const Bytes& content) {
  return content.empty() ? 1 : (content.size() + kPieceSize - 1) / kPieceSize;
}

// zlib header (level 9, or level 0 when every piece is stored), the pieces, the combined sum.
std::vector<Bytes> stream_parts(std::vector<Piece>& pieces, size_t content_size) {
  bool any_compressed = std::any_of(pieces.begin(), pieces.end(),
                                    [](const Piece& p) { return p.compressed; });
  std::vector<Bytes> parts = {{0x78, static_cast<uint8_t>(any_compressed ? 0xDA : 0x01)}};
  uLong adler = adler32(0, nullptr, 0);
  for (size_t i = 0; i < pieces.size(); ++i) {
    size_t length = std::min(kPieceSize, content_size - i * kPieceSize);
    adler = adler32_combine(adler, pieces[i].adler, static_cast<z_off_t>(length));
    parts.push_back(std::move(pieces[i].deflated));
  }
  Bytes sum;
  for (int shift = 24; shift >= 0; shift -= 8) sum.push_back(static_cast<uint8_t>(adler >> shift));
  parts.push_back(std::move(sum));
  return parts;
}

}  // namespace

std::vector<PackedRecord> pack_records(const std::vector<ContainerRecord>& records,
                                       const ContentSigner& sign, const PackProgress& progress) {
  std::vector<std::vector<Piece>> pieces(records.size());
  std::vector<PieceRef> refs;
  for (size_t r = 0; r < records.size(); ++r) {
    pieces[r].resize(piece_count(records[r].content));
    for (size_t i = 0; i < pieces[r].size(); ++i) refs.push_back({r, i});
  }
  std::vector<PackedRecord> packed(records.size());
  // The signatures first: the largest record's digest is one long task that the pieces overlap.
  size_t signatures = sign ? records.size() : 0;
  run_parallel(signatures + refs.size(), [&](size_t task) {
    if (task < signatures) {
      packed[task].signature = sign(records[task].content);
      return;
    }
    const PieceRef& ref = refs[task - signatures];
    const Bytes& content = records[ref.record].content;
    pieces[ref.record][ref.index] = deflate_piece(content, ref.index);
    if (progress) progress(std::min(kPieceSize, content.size() - ref.index * kPieceSize));
  });
  for (size_t r = 0; r < records.size(); ++r) {
    packed[r].data = stream_parts(pieces[r], records[r].content.size());
  }
  return packed;
}

}  // namespace msiboot_tool
