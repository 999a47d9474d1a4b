// Whole-buffer inflation of record data fields. Runs in both builds.
#include "payload/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "common/container_fixtures.h"
#include "container/layout.h"
#include "platform/heap.h"

namespace {

using msiboot_test::zlib_compress;

struct Result {
  int rc;
  Bytes content;
};

Result inflate_all(const Bytes& input, uint32_t limit = UINT32_MAX) {
  size_t live = fixtures::live_heap_blocks();
  uint8_t* block = reinterpret_cast<uint8_t*>(1);
  uint32_t length = 777;
  int rc = inflate_buffer(&block, &length, input.data(), static_cast<uint32_t>(input.size()),
                          limit);
  Result result{rc, {}};
  if (rc != Z_OK) {
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(fixtures::live_heap_blocks(), live) << "a failed inflation left its block allocated";
  } else {
    result.content.assign(block, block + length);
    heap_free(block);
  }
  return result;
}

// Content that neither compresses to nothing nor stays incompressible.
Bytes mixed_content(size_t size) {
  Bytes bytes(size);
  uint32_t state = 12345;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = (i / 4096) % 2 == 0 ? static_cast<uint8_t>(state >> 24) : static_cast<uint8_t>(i % 7);
  }
  return bytes;
}

Bytes deflate_with(int window_bits, const Bytes& content, const Bytes& dictionary = {}) {
  z_stream stream = {};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  if (!dictionary.empty()) {
    deflateSetDictionary(&stream, dictionary.data(), static_cast<uInt>(dictionary.size()));
  }
  Bytes out(deflateBound(&stream, static_cast<uLong>(content.size())) + 32);
  stream.next_in = const_cast<Bytef*>(content.data());
  stream.avail_in = static_cast<uInt>(content.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TEST(InflateBuffer, ChunkSizeIsAnEighthFrom256Bytes) {
  const std::vector<std::pair<uint32_t, uint32_t>> sizes = {
      {0, 256},   {1, 256},    {100, 256},  {255, 256},   {256, 32},
      {300, 37},  {2047, 255}, {2048, 256}, {8000, 1000}, {UINT32_MAX, UINT32_MAX / 8}};
  for (auto [input, chunk] : sizes) EXPECT_EQ(inflate_chunk_size(input), chunk) << input;
}

TEST(InflateBuffer, RoundTrips) {
  const std::vector<std::pair<const char*, Bytes>> contents = {
      {"empty", {}},
      {"one byte", {42}},
      {"manifest", fixtures::content("manifest")},
      {"6000 compressible bytes", fixtures::content("package")},
      {"1200 random bytes", fixtures::content("cabinet")},
      {"1 MiB mixed", mixed_content(1 << 20)},
      {"64 KiB of zeros", Bytes(1 << 16, 0)},
  };
  for (const auto& [name, content] : contents) {
    SCOPED_TRACE(name);
    Result result = inflate_all(zlib_compress(content));
    EXPECT_EQ(result.rc, Z_OK);
    EXPECT_EQ(result.content, content);
  }
}

TEST(InflateBuffer, BytesAfterTheStreamAreIgnored) {
  const Bytes content = fixtures::content("package");
  for (size_t extra : {1u, 3u, 1000u, 100000u}) {
    Bytes input = zlib_compress(content);
    input.resize(input.size() + extra, 0xEE);
    Result result = inflate_all(input);
    EXPECT_EQ(result.rc, Z_OK) << extra;
    EXPECT_EQ(result.content, content) << extra;
  }
}

TEST(InflateBuffer, UnreadableStreamsFailAsDataErrors) {
  const Bytes content = mixed_content(50000);
  const Bytes stream = zlib_compress(content);
  Bytes bad_check = stream;
  bad_check.back() ^= 0x01;
  Bytes bad_block = stream;
  bad_block[2] = 0xFF;  // reserved block type 3

  const std::vector<std::pair<const char*, Bytes>> inputs = {
      {"no input", {}},
      {"header only", Bytes(stream.begin(), stream.begin() + 2)},
      {"cut by one byte", Bytes(stream.begin(), stream.end() - 1)},
      {"cut in half", Bytes(stream.begin(), stream.begin() + stream.size() / 2)},
      {"Adler-32 check wrong", bad_check},
      {"reserved block type", bad_block},
      {"not a zlib header", Bytes{0x1F, 0x8B, 0x08, 0x00}},
      {"gzip wrapper", deflate_with(15 + 16, content)},
      {"raw deflate", deflate_with(-15, content)},
      {"preset dictionary", deflate_with(15, content, Bytes(300, 'd'))},
  };
  for (const auto& [name, input] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(inflate_all(input).rc, Z_DATA_ERROR);
  }
}

TEST(InflateBuffer, AStreamLongerThanItsLimitFailsAsADataError) {
  const std::vector<std::pair<const char*, Bytes>> contents = {
      {"empty", {}},
      {"6000 compressible bytes", fixtures::content("package")},
      {"1 MiB mixed", mixed_content(1 << 20)},
      {"1 MiB of zeros", Bytes(1 << 20, 0)},
      {"stored", fixtures::content("cabinet")},
  };
  for (const auto& [name, content] : contents) {
    SCOPED_TRACE(name);
    const Bytes stream = zlib_compress(content);
    const auto size = static_cast<uint32_t>(content.size());
    for (uint32_t limit : {size, size + 1, size + 100000}) {
      Result result = inflate_all(stream, limit);
      EXPECT_EQ(result.rc, Z_OK) << limit;
      EXPECT_EQ(result.content, content) << limit;
    }
    if (size > 0) {
      for (uint32_t limit : {0u, size / 2, size - 1}) EXPECT_EQ(inflate_all(stream, limit).rc, Z_DATA_ERROR) << limit;
    }
  }
}

TEST(InflateBuffer, OutputThatWouldPass32BitsFailsBeforeAllocating) {
  uint8_t* block = nullptr;
  size_t live = fixtures::live_heap_blocks();
  EXPECT_EQ(inflate_grow(&block, UINT32_MAX - 36, 37), Z_MEM_ERROR);
  EXPECT_EQ(inflate_grow(&block, 37, UINT32_MAX), Z_MEM_ERROR);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(fixtures::live_heap_blocks(), live);

  uint8_t* small = nullptr;
  ASSERT_EQ(inflate_grow(&small, 0, 37), Z_OK);
  uint8_t* kept = small;
  EXPECT_EQ(inflate_grow(&small, UINT32_MAX - 10, 37), Z_MEM_ERROR);
  EXPECT_EQ(small, kept) << "a refused growth must leave the block as it was";
  heap_free(small);
}

}  // namespace
