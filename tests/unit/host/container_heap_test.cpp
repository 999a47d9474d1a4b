// Out-of-memory paths of the payload core, driven by the host heap's test hooks: every failed
// allocation is reported and nothing stays allocated.
#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "common/container_fixtures.h"
#include "container/layout.h"
#include "payload/container.h"
#include "payload/inflate.h"
#include "payload/record_stream.h"
#include "platform/heap.h"
#include "platform/heap_test.h"
#include "platform/signature.h"
#include "platform/error_codes.h"

namespace {

using fixtures::TestRecord;
using fixtures::RecordFault;
using fixtures::file_record;
using fixtures::manifest_record;

class HeapHooks : public ::testing::Test {
 protected:
  void TearDown() override { heap_test_reset(); }
};

TEST_F(HeapHooks, EveryFailedAllocationOfALookupLeavesNothing) {
  const Bytes compressed = fixtures::container({manifest_record(), file_record(1000, "package"),
                                                file_record(1001, "cabinet")});
  const Bytes stored = fixtures::container({manifest_record(RecordFault::Stored),
                                            file_record(1000, "package", RecordFault::Stored)});
  struct Case {
    const char* name;
    Bytes container;
    uint32_t flags;
    bool manifest;
    uint32_t id;
    uint32_t code;  // of every failed allocation
    uint32_t site;
  };
  const std::vector<Case> cases = {
      {"manifest, inflated", compressed, 3, true, 0, kErrorInvalidData, kSiteManifestInflate},
      {"package, inflated", compressed, 3, false, 1000, kErrorInvalidData, kSiteFileInflate},
      {"cabinet, inflated", compressed, 1, false, 1001, kErrorInvalidData, kSiteFileInflate},
      {"manifest, copied", stored, 2, true, 0, kErrorNotEnoughMemory, kSiteManifestCopy},
      {"package, copied", stored, 2, false, 1000, kErrorNotEnoughMemory, kSiteFileCopy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = c.container;
    PayloadBlob blob = fixtures::blob_of(bytes, c.flags);
    const RecordType& type = c.manifest ? ManifestRecordType : FileRecordType;
    const Bytes key = fixtures::public_key();
    size_t live = heap_test_live_blocks();
    bool succeeded = false;
    for (size_t n = 1; n < 10000 && !succeeded; ++n) {
      heap_test_fail_at(n);
      uint8_t* content = nullptr;
      uint32_t length = 0;
      Status status = find_record_with_key(blob, type, c.id, key.data(), 276, &content, &length);
      heap_test_reset();
      succeeded = !status_failed(status);
      if (succeeded) {
        EXPECT_GT(n, 1u) << "the lookup allocated nothing";
        heap_free(content);
      } else {
        EXPECT_EQ(status_code(status), c.code) << "allocation " << n;
        EXPECT_EQ(status_site(status), c.site) << "allocation " << n;
        EXPECT_EQ(content, nullptr);
      }
      EXPECT_EQ(heap_test_live_blocks(), live) << "allocation " << n;
      // The tool's lookup of the same record fails as unreadable, or succeeds, leaving nothing.
      heap_test_fail_at(n);
      StreamedRecord record = {nullptr, nullptr, UINT32_MAX, 0};
      Status streamed = stream_record(blob, type, c.id, nullptr, key.data(), 276, record);
      heap_test_reset();
      EXPECT_TRUE(!status_failed(streamed) || status == streamed) << "allocation " << n;
      EXPECT_EQ(heap_test_live_blocks(), live) << "allocation " << n;
    }
    EXPECT_TRUE(succeeded);
  }
}

// zlib's state and window are failed too: the sweep fails every allocation of an unhindered run.
TEST_F(HeapHooks, EveryFailedAllocationOfAnInflationLeavesNothing) {
  const Bytes input = msiboot_test::zlib_compress(fixtures::content("package"));
  size_t live = heap_test_live_blocks();
  uint8_t* whole = nullptr;
  uint32_t whole_length = 0;
  heap_test_reset();
  ASSERT_EQ(inflate_buffer(&whole, &whole_length, input.data(), static_cast<uint32_t>(input.size())),
            Z_OK);
  const size_t calls = heap_test_calls();
  heap_free(whole);
  size_t n = 1;
  for (;; ++n) {
    ASSERT_LT(n, 1000u);
    heap_test_fail_at(n);
    uint8_t* block = nullptr;
    uint32_t length = 0;
    int rc = inflate_buffer(&block, &length, input.data(), static_cast<uint32_t>(input.size()));
    heap_test_reset();
    if (rc == Z_OK) {
      heap_free(block);
      break;
    }
    EXPECT_EQ(rc, Z_MEM_ERROR) << n;
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(heap_test_live_blocks(), live) << n;
  }
  EXPECT_EQ(n, calls + 1);
}

// Every call of inflate gets at most one chunk of room, so the number of heap calls shows the
// chunk size: content one byte shorter than a chunk fits one call, one byte longer needs a
// second. The block is made once, for the input and one chunk, so none of these grows it; zlib's
// own blocks come from the same heap: its state, and its window once a stream takes more than one
// call (so one call is 2 heap calls, two calls are 3). Inputs are padded to their size with bytes
// after the end of the stream.
TEST_F(HeapHooks, InflationWorksInChunksOfTheInputSize) {
  struct Case {
    const char* name;
    uint32_t input_size;
    Bytes content;
    int level;
    size_t heap_calls;
  };
  const std::vector<Case> cases = {
      {"100 bytes: 255 bytes of output fit one chunk of 256", 100, Bytes(255, 'a'), 9, 2},
      {"100 bytes: 257 bytes of output need two", 100, Bytes(257, 'a'), 9, 3},
      {"100 bytes: a 71-byte stored stream is one piece", 100, Bytes(60, 'b'), 0, 2},
      {"300 bytes: 36 bytes of output fit one chunk of 37", 300, Bytes(36, 'a'), 9, 2},
      {"300 bytes: 38 bytes of output need two", 300, Bytes(38, 'a'), 9, 3},
      // 2 + 5 + 30 bytes fill the first piece of 37; the Adler-32 check is the second piece.
      {"300 bytes: a 41-byte stored stream is two pieces", 300, Bytes(30, 'b'), 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes input(compressBound(static_cast<uLong>(c.content.size())));
    uLongf stream_size = input.size();
    ASSERT_EQ(compress2(input.data(), &stream_size, c.content.data(),
                        static_cast<uLong>(c.content.size()), c.level),
              Z_OK);
    ASSERT_LE(stream_size, c.input_size);
    input.resize(stream_size);
    input.resize(c.input_size, 0xEE);

    heap_test_reset();
    uint8_t* block = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(inflate_buffer(&block, &length, input.data(), c.input_size), Z_OK);
    EXPECT_EQ(heap_test_calls(), c.heap_calls);
    EXPECT_EQ(Bytes(block, block + length), c.content);
    heap_free(block);
  }
}

// A tampered manifest record of 5 MB that would inflate to about 5 GB (the stub took 38 s and
// 7.2 GiB before its signature was checked) is refused with 13 after at most the cap and one byte
// of output; a bound record of known size is inflated into one block of that size and one byte.
TEST_F(HeapHooks, InflationBeforeVerificationIsBounded) {
  const Bytes bomb_content(5u << 20, 0);
  Bytes stream = msiboot_test::zlib_compress(bomb_content);
  ASSERT_LT(stream.size(), 10000u);
  Bytes container = fixtures::container({TestRecord{true, 0, bomb_content, RecordFault::Unsigned}});
  PayloadBlob blob = fixtures::blob_of(container, kPayloadCompressed | kPayloadSigned);
  uint8_t* content = nullptr;
  uint32_t length = 0;
  heap_test_reset();
  Status status = find_record_with_key(blob, ManifestRecordType, 0, fixtures::public_key().data(),
                                       276, &content, &length);
  EXPECT_EQ(status, status_of(kErrorInvalidData, kSiteManifestInflate));
  EXPECT_LE(heap_test_largest_block(), kManifestInflateCap + 1);

  const Bytes package(3u << 20, 'p');
  Bytes files = fixtures::container({TestRecord{false, 1000, package, RecordFault::Unsigned}});
  PayloadBlob file_blob = fixtures::blob_of(files, kPayloadCompressed);
  RecordBinding binding = {kBindingPresent, static_cast<uint32_t>(package.size()), {}};
  ASSERT_TRUE(content_sha256(package.data(), binding.size, binding.digest));
  heap_test_reset();
  ASSERT_EQ(status_code(find_bound_record(file_blob, 1000, binding, nullptr, 0, &content, &length)), 0u);
  EXPECT_EQ(heap_test_largest_block(), package.size() + 1) << "one block, never grown";
  heap_free(content);
  binding.size = 1000;
  heap_test_reset();
  EXPECT_EQ(find_bound_record(file_blob, 1000, binding, nullptr, 0, &content, &length),
            status_of(13, kSiteFileInflate));
  EXPECT_LE(heap_test_largest_block(), 1001u + 65536u) << "the block, or zlib's window";

  // The tool's lookup holds one window, whatever the record inflates to.
  binding.size = static_cast<uint32_t>(package.size());
  StreamedRecord record = {nullptr, nullptr, UINT32_MAX, 0};
  heap_test_reset();
  EXPECT_EQ(status_code(stream_record(file_blob, FileRecordType, 1000, &binding, nullptr, 0, record)), 0u);
  EXPECT_EQ(record.length, package.size());
  EXPECT_LE(heap_test_largest_block(), kInflateWindow);
  heap_test_reset();
  EXPECT_EQ(stream_record(blob, ManifestRecordType, 0, nullptr, fixtures::public_key().data(), 276, record),
            status_of(kErrorInvalidData, kSiteManifestInflate));
  EXPECT_LE(heap_test_largest_block(), kInflateWindow);
}

TEST_F(HeapHooks, AppendBlobGrowsTheArrayOrLeavesItAsItWas) {
  PayloadSet state = {};
  uint8_t marker[3] = {};
  for (uint32_t i = 0; i < 3; ++i) {
    PayloadBlob blob = {};
    blob.size = i + 1;
    blob.flags = 3;
    ASSERT_EQ(status_code(append_blob(state, blob, 892)), 0u);
  }
  PayloadBlob* before = state.blobs;
  heap_test_fail_at(1);
  PayloadBlob extra = {marker, 9, nullptr, 0, 3};
  Status status = append_blob(state, extra, 2001);
  heap_test_reset();
  EXPECT_EQ(status_code(status), 8u);
  EXPECT_EQ(status_site(status), 2001u);
  EXPECT_EQ(state.blob_count, 3u);
  EXPECT_EQ(state.blobs, before);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(state.blobs[i].size, i + 1);
  free_blobs(state);
}

}  // namespace
