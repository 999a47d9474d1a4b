// Every allocation the reader makes, failed in turn: nothing may stay allocated but the blobs it
// appended, and those must be the first carriers in order.
#include <gtest/gtest.h>

#include <vector>

#include "payload/payload_blob.h"
#include "payload/signature_table.h"
#include "platform/heap_test.h"
#include "test_bytes.h"
#include "test_signing.h"

namespace {

Bytes fixture(const char* name) {
  return msiboot_tool::read_file_bytes(std::string(MSIBOOT_SIGNATURE_FIXTURES) + "/" + name);
}

TEST(SignatureTableMemory, EveryFailedAllocationLeavesOnlyWholeBlobs) {
  for (const char* name : {"ordered", "bad-manifest"}) {
    SCOPED_TRACE(name);
    const Bytes image = fixture((std::string(name) + ".exe").c_str());
    std::vector<Bytes> expected;
    for (int i = 0;; ++i) {
      std::string path = std::string(name) + "." + std::to_string(i) + ".bin";
      try {
        expected.push_back(fixture(path.c_str()));
      } catch (const std::exception&) {
        break;
      }
    }
    PayloadSet set = {};
    const size_t live = heap_test_live_blocks();

    bool reached_the_end = false;
    for (size_t n = 1; n < 2000 && !reached_the_end; ++n) {
      heap_test_fail_at(n);
      Status status = read_signature_table(set, image.data(), static_cast<uint32_t>(image.size()));
      reached_the_end = heap_test_calls() < n;  // the planned failure never came
      heap_test_reset();
      if (!reached_the_end) {
        EXPECT_TRUE(status_failed(status)) << "allocation " << n;
      }

      ASSERT_LE(set.blob_count, expected.size());
      for (uint32_t i = 0; i < set.blob_count; ++i) {
        const PayloadBlob& blob = set.blobs[i];
        EXPECT_EQ(Bytes(blob.data, blob.data + blob.size), expected[i]) << "allocation " << n;
      }
      free_blobs(set);
      ASSERT_EQ(heap_test_live_blocks(), live) << "leak after failing allocation " << n;
    }
    EXPECT_TRUE(reached_the_end);
  }
}

}  // namespace
