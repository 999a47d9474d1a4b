#include "container/record_packing.h"

#include <libdeflate.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "container/deflate_piece.h"
#include "container/openssl_ptr.h"
#include "container/parallel_tasks.h"
#include "files/tool_error.h"
#include "payload/container.h"

namespace msiboot_tool {
namespace {

constexpr size_t kPieceSize = 1u << 20;
constexpr size_t kMostPiecesHeld = 64;
constexpr size_t kDigestSize = 32;

struct Piece {
  const uint8_t* content = nullptr;
  size_t length = 0;
  bool last = false;
  Bytes buffer;  // the piece read from a file
  DeflatedPiece deflated;
};

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// A record's content, piece by piece: from memory, or read from its file.
class ContentPieces {
 public:
  explicit ContentPieces(const ContainerRecord& record) : record_(record) {
    size_ = record.file.empty() ? record.content.size() : record.file_size;
    if (!record.file.empty()) {
      file_.reset(std::fopen(record.file.c_str(), "rb"));
      if (!file_) throw ToolError(record.file, std::string("cannot read it (") + std::strerror(errno) + ")");
    }
  }

  bool done() const { return offset_ == size_ && started_; }

  void next(Piece& piece) {
    piece.length = static_cast<size_t>(std::min<uint64_t>(kPieceSize, size_ - offset_));
    if (file_) {
      piece.buffer.resize(piece.length);
      if (std::fread(piece.buffer.data(), 1, piece.length, file_.get()) != piece.length) {
        throw ToolError(record_.file, "it became shorter while it was being packed");
      }
      piece.content = piece.buffer.data();
    } else {
      piece.content = record_.content.data() + offset_;
    }
    offset_ += piece.length;
    started_ = true;
    piece.last = offset_ == size_;
  }

 private:
  const ContainerRecord& record_;
  std::unique_ptr<FILE, FileCloser> file_;
  uint64_t size_ = 0, offset_ = 0;
  bool started_ = false;  // an empty content is one empty piece
};

class ContentHash {
 public:
  ContentHash() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
      throw ToolError("out of memory for SHA-256");
    }
  }
  void add(const uint8_t* bytes, size_t length) { EVP_DigestUpdate(context_.get(), bytes, length); }
  Bytes digest() {
    Bytes digest(kDigestSize);
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_.get(), digest.data(), &length);
    return digest;
  }

 private:
  OpenSslPtr<EVP_MD_CTX> context_;
};

size_t pieces_held() {
  size_t threads = std::max(1u, std::thread::hardware_concurrency());
  return std::min(kMostPiecesHeld, 2 * threads);
}

// Writes the record's zlib stream to sink, a batch of pieces at a time: the batch is deflated on
// every core while one of them takes the digest and the Adler-32 sum in order. Returns the data
// field's length; digest receives the content's SHA-256.
uint64_t stream_data(const ContainerRecord& record, const ContainerSink& sink, const PackSettings& settings,
                     Bytes& digest) {
  ContentPieces source(record);
  ContentHash hash;
  uint32_t adler = 1;
  std::vector<Piece> batch(pieces_held());
  uint64_t length = 0;
  bool first = true;
  while (!source.done()) {
    size_t count = 0;
    while (count < batch.size() && !source.done()) source.next(batch[count++]);
    run_parallel(count + 1, [&](size_t task) {
      if (task == 0) {
        for (size_t i = 0; i < count; ++i) {
          hash.add(batch[i].content, batch[i].length);
          adler = libdeflate_adler32(adler, batch[i].content, batch[i].length);
        }
        return;
      }
      Piece& piece = batch[task - 1];
      piece.deflated = deflate_piece(piece.content, piece.length, piece.last, settings.level);
      if (settings.progress) settings.progress(piece.length);
    });
    if (first) {
      const uint8_t header[] = {0x78, static_cast<uint8_t>(batch[0].deflated.compressed ? 0xDA : 0x01)};
      sink(header, sizeof header);
      length += sizeof header;
      first = false;
    }
    for (size_t i = 0; i < count; ++i) {
      sink(batch[i].deflated.bytes.data(), batch[i].deflated.bytes.size());
      length += batch[i].deflated.bytes.size();
      batch[i].deflated = {};
    }
  }
  const uint8_t sum[] = {static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                         static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
  sink(sum, sizeof sum);
  digest = hash.digest();
  if (!record.digest.empty() && digest != record.digest) {
    throw ToolError(record.file, "it changed while it was being packed");
  }
  return length + sizeof sum;
}

}  // namespace

uint64_t stream_container(const std::vector<ContainerRecord>& records, const DigestSigner& sign,
                          const ContainerSink& sink, const PackSettings& settings) {
  uint64_t total = 0;
  for (const ContainerRecord& record : records) {
    Bytes digest;
    uint64_t data_length = stream_data(record, sink, settings, digest);
    Bytes signature = sign ? sign(digest.data()) : Bytes();
    Bytes trailer;
    append_trailer(trailer, record.manifest ? ManifestRecordType : FileRecordType, record.id,
                   checked_u32(signature.size(), "signature field"), checked_u32(data_length, "data field"));
    sink(signature.data(), signature.size());
    sink(trailer.data(), trailer.size());
    total += data_length + signature.size() + trailer.size();
    checked_u32(total, "container");
  }
  return total;
}

std::vector<PackedRecord> pack_records(const std::vector<ContainerRecord>& records,
                                       const ContentSigner& sign, const PackProgress& progress) {
  std::vector<PackedRecord> packed(records.size());
  for (size_t r = 0; r < records.size(); ++r) {
    Bytes data, digest;
    stream_data(records[r], [&data](const uint8_t* bytes, size_t length) { data.insert(data.end(), bytes, bytes + length); },
                {kDefaultLevel, progress}, digest);
    packed[r].data.push_back(std::move(data));
    if (sign) packed[r].signature = sign(records[r].content);
  }
  return packed;
}

ContainerParts container_parts(const std::vector<ContainerRecord>& records, const ContentSigner& sign,
                               const PackProgress& progress) {
  std::vector<PackedRecord> packed = pack_records(records, sign, progress);
  ContainerParts parts;
  size_t total = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    size_t data_length = 0;
    for (Bytes& part : packed[i].data) {
      data_length += part.size();
      parts.push_back(std::move(part));
    }
    Bytes trailer;
    append_trailer(trailer, records[i].manifest ? ManifestRecordType : FileRecordType, records[i].id,
                   checked_u32(packed[i].signature.size(), "signature field"),
                   checked_u32(data_length, "data field"));
    total += data_length + packed[i].signature.size() + trailer.size();
    parts.push_back(std::move(packed[i].signature));
    parts.push_back(std::move(trailer));
  }
  checked_u32(total, "container");
  return parts;
}

Bytes join_parts(const ContainerParts& parts) {
  size_t total = 0;
  for (const Bytes& part : parts) total += part.size();
  Bytes out;
  out.reserve(total);
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace msiboot_tool
