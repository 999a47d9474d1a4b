#include "payload/inflate.h"

#include <stdint.h>
#define ZLIB_CONST
#include <zlib.h>

#include "platform/heap.h"

namespace {

// The stream is opened with this version string; zlib accepts any whose first character matches
// its own, so the 1.2.13 builds take it too.
const char kZlibVersion[] = "1.2.11";

// zlib's own blocks (its state and its window) come from the same heap as every other block, so
// that they are counted, and failed, like the rest.
voidpf zlib_alloc(voidpf, uInt items, uInt size) {
  if (size != 0 && items > SIZE_MAX / size) return Z_NULL;
  return heap_alloc(kHeapFixed, static_cast<size_t>(items) * size);
}

void zlib_free(voidpf, voidpf block) { heap_free(block); }

// Sorts the result of one inflate call: Z_OK to go on, Z_STREAM_END, or the failure to report.
int classify(int rc) {
  switch (rc) {
    case Z_OK:
    case Z_BUF_ERROR:
      return Z_OK;
    case Z_STREAM_END:
    case Z_MEM_ERROR:
      return rc;
    default:  // Z_DATA_ERROR, Z_STREAM_ERROR, Z_NEED_DICT: the stream cannot be read
      return Z_DATA_ERROR;
  }
}

// The output block, how much of it is in use, and the most it may ever hold: the limit and one
// byte more, which shows that the stream goes on past the limit. With a sink the block is a window
// handed on whenever it is full, and the ceiling counts down what may still come.
struct Output {
  uint8_t* block;
  uint32_t length;
  uint32_t capacity;
  uint32_t ceiling;
  InflateSink sink;
  void* context;
};

// Hands the window's bytes to the sink and empties it; false when the sink says stop.
bool hand_on(Output* out) {
  if (out->length != 0 && !out->sink(out->block, out->length, out->context)) return false;
  out->ceiling -= out->length;
  out->length = 0;
  if (out->capacity > out->ceiling) out->capacity = out->ceiling;
  return true;
}

// The block's ceiling for a limit: one byte past it, or 2^32 - 1 when there is no limit.
uint32_t ceiling_of(uint32_t limit) { return limit >= UINT32_MAX - 1 ? UINT32_MAX : limit + 1; }

// Grows the block when it is full: by half its length, at least by one chunk, never past the
// ceiling. Growing in proportion keeps the number of moves (each a copy of everything so far)
// small.
int make_room(Output* out, uint32_t chunk) {
  if (out->capacity > out->length) return Z_OK;
  if (out->sink != nullptr) return hand_on(out) ? Z_OK : Z_BUF_ERROR;
  uint32_t extra = out->length / 2 > chunk ? out->length / 2 : chunk;
  if (extra > out->ceiling - out->length) extra = out->ceiling - out->length;
  if (extra == 0) return out->ceiling == UINT32_MAX ? Z_MEM_ERROR : Z_DATA_ERROR;
  int rc = inflate_grow(&out->block, out->length, extra);
  if (rc == Z_OK) out->capacity = out->length + extra;
  return rc;
}

// Inflates the stream's current piece, giving every call at most chunk bytes of room, until a
// call leaves some of its room unused. Returns Z_OK when the piece is done, Z_STREAM_END, or a
// failure.
int inflate_piece(z_stream* stream, Output* out, uint32_t chunk) {
  for (;;) {
    int rc = make_room(out, chunk);
    if (rc != Z_OK) return rc;
    uint32_t room = out->capacity - out->length < chunk ? out->capacity - out->length : chunk;
    stream->next_out = out->block + out->length;
    stream->avail_out = room;
    uInt offered = stream->avail_in;
    rc = classify(inflate(stream, Z_NO_FLUSH));
    uint32_t written = room - stream->avail_out;
    out->length += written;
    // A byte past the limit: the stream is longer than its record may be.
    if (out->ceiling != UINT32_MAX && out->length == out->ceiling) return Z_DATA_ERROR;
    if (rc != Z_OK) return rc;
    // A call that was offered input and neither took any nor gave output would repeat for ever.
    if (written == 0 && offered != 0 && stream->avail_in == offered) return Z_DATA_ERROR;
    if (stream->avail_out != 0) return Z_OK;
  }
}

// Hands the input to the stream piece by piece. Returns Z_OK once the stream has ended, otherwise
// the failure; running out of input before the end is Z_DATA_ERROR.
int inflate_pieces(z_stream* stream, const uint8_t* input, uint32_t input_length, uint32_t chunk,
                   Output* out) {
  uint32_t consumed = 0;
  while (consumed < input_length) {
    uint32_t left = input_length - consumed;
    uint32_t piece = left < chunk ? left : chunk;
    stream->next_in = input + consumed;
    stream->avail_in = piece;
    int rc = inflate_piece(stream, out, chunk);
    consumed += piece - stream->avail_in;
    if (rc == Z_STREAM_END) return Z_OK;
    if (rc != Z_OK) return rc;
  }
  return Z_DATA_ERROR;
}

// The block's first size, before any output: the input and one chunk, never past the ceiling.
// Data that deflate cannot shrink (cabinets, mostly) is stored in blocks that inflate to fewer
// bytes than they take, so such a record is inflated without ever growing, that is without a
// second copy of it in memory; nor is a record whose length is known (its limit).
uint32_t first_capacity(uint32_t input_length, uint32_t chunk, uint32_t ceiling) {
  uint32_t capacity = input_length > UINT32_MAX - chunk ? UINT32_MAX : input_length + chunk;
  return capacity < ceiling ? capacity : ceiling;
}

// Opens a stream, gives out its first block and inflates the input into it.
int inflate_into(Output* out, const uint8_t* input, uint32_t input_length, uint32_t chunk) {
  z_stream stream = {};
  stream.zalloc = zlib_alloc;
  stream.zfree = zlib_free;
  int rc = inflateInit_(&stream, kZlibVersion, static_cast<int>(sizeof stream));
  if (rc != Z_OK) return rc;
  rc = inflate_grow(&out->block, 0, out->capacity);
  if (rc == Z_OK) rc = inflate_pieces(&stream, input, input_length, chunk, out);
  inflateEnd(&stream);
  return rc;
}

}  // namespace

uint32_t inflate_chunk_size(uint32_t input_length) {
  return input_length < 256 ? 256 : input_length / 8;
}

int inflate_grow(uint8_t** block, uint32_t length, uint32_t room) {
  if (room > UINT32_MAX - length) return Z_MEM_ERROR;
  size_t size = static_cast<size_t>(length) + room;
  void* grown = *block == nullptr ? heap_alloc(kHeapFixed, size)
                                  : heap_realloc(*block, size, kHeapFixed);
  if (grown == nullptr) return Z_MEM_ERROR;
  *block = static_cast<uint8_t*>(grown);
  return Z_OK;
}

int inflate_buffer(uint8_t** block, uint32_t* length, const uint8_t* input, uint32_t input_length,
                   uint32_t limit) {
  *block = nullptr;
  *length = 0;
  uint32_t chunk = inflate_chunk_size(input_length);
  uint32_t ceiling = ceiling_of(limit);
  Output out = {nullptr, 0, first_capacity(input_length, chunk, ceiling), ceiling, nullptr, nullptr};
  int rc = inflate_into(&out, input, input_length, chunk);
  if (rc != Z_OK) {
    heap_free(out.block);
    return rc;
  }
  *block = out.block;
  *length = out.length;
  return Z_OK;
}

int inflate_stream(const uint8_t* input, uint32_t input_length, uint32_t limit, InflateSink sink,
                   void* context) {
  // Even without a limit a stream ends at 2^32 - 1 bytes: no record is longer.
  uint32_t ceiling = ceiling_of(limit);
  Output out = {nullptr, 0, kInflateWindow < ceiling ? kInflateWindow : ceiling, ceiling, sink, context};
  int rc = inflate_into(&out, input, input_length, inflate_chunk_size(input_length));
  if (rc == Z_OK && !hand_on(&out)) rc = Z_BUF_ERROR;
  heap_free(out.block);
  return rc;
}
