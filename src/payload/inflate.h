#pragma once
// zlib inflation of one record's data field: whole, into a local-heap block (what the stub
// installs), or piece by piece through a window of fixed size (what the tool checks or writes).
#include <cstdint>

// Inflates a zlib stream (header, deflate data, Adler-32 check) of input_length bytes. Returns 0
// with *block a new local-heap block (the caller frees it; it may be larger than *length) and
// *length the inflated byte count; bytes after the end of the stream are ignored. Otherwise returns
// a zlib code (Z_DATA_ERROR for a bad or unfinished stream, or one that would give more than limit
// bytes; Z_MEM_ERROR when the block cannot grow or its length would pass 32 bits) with *block null
// and *length 0. With a limit below 2^32 - 1 the block never holds more than limit + 1 bytes: a
// stream is followed no further than one byte past it, whatever its data field says.
int inflate_buffer(uint8_t** block, uint32_t* length, const uint8_t* input, uint32_t input_length,
                   uint32_t limit = UINT32_MAX);

// Makes room for room more bytes after length in *block (a first fixed block, then a movable
// reallocation). Z_MEM_ERROR when length + room passes 32 bits or the heap says no; *block then
// stays as it was.
int inflate_grow(uint8_t** block, uint32_t length, uint32_t room);

// The piece and output step for an input of input_length bytes: 256 below 256 bytes, an eighth
// of the input otherwise.
uint32_t inflate_chunk_size(uint32_t input_length);

// Receives the inflated bytes in order, length at a time; false stops the inflation.
using InflateSink = bool (*)(const uint8_t* bytes, uint32_t length, void* context);

constexpr uint32_t kInflateWindow = 1u << 20;

// inflate_buffer handing the output to sink through a window of kInflateWindow bytes, so that
// memory stays bounded whatever the stream inflates to; the same codes, and Z_BUF_ERROR when the
// sink stopped it. The sink never sees more than limit bytes in all.
int inflate_stream(const uint8_t* input, uint32_t input_length, uint32_t limit, InflateSink sink,
                   void* context);
