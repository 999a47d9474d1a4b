// Records deflated in parallel pieces: whatever the sizes, the level and the mix of compressible
// and incompressible pieces, the stub's own inflation gives the content back, and incompressible
// pieces are stored rather than deflated.
#include "container/record_packing.h"
#include "record_faults.h"

#include <gtest/gtest.h>

#include "bundle.h"
#include "payload/inflate.h"
#include "platform/heap.h"

namespace {

using msiboot_tool::Bytes;

constexpr size_t kMiB = 1u << 20;

Bytes text_bytes(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>("msiboot sample text, "[i % 21] + i / 9973 % 3);
  return bytes;
}


TEST(RecordPacking, TheStubInflatesEveryStreamBackToItsContent) {
  struct Case {
    const char* name;
    Bytes content;
    double most;  // the stream's size at most, as a share of the content
  };
  const Case cases[] = {
      {"empty", {}, 10.0},
      {"one byte", {0x42}, 10.0},
      {"one piece of text", text_bytes(kMiB), 0.05},
      {"text one byte past a piece", text_bytes(kMiB + 1), 0.05},
      {"incompressible, stored", incompressible_bytes(3 * kMiB + 77, 5), 1.001},
      {"text, then incompressible, then text",
       joined(joined(text_bytes(kMiB), incompressible_bytes(kMiB, 6)), text_bytes(kMiB / 2)), 0.45},
  };
  for (const Case& c : cases) {
    for (int level : {0, 1, msiboot_tool::kDefaultLevel, msiboot_tool::kMaxLevel}) {
      SCOPED_TRACE(std::string(c.name) + " at level " + std::to_string(level));
      Bytes stream;
      msiboot_tool::stream_container({{false, 0, c.content}}, nullptr,
                                     [&](const uint8_t* b, size_t n) { stream.insert(stream.end(), b, b + n); },
                                     {level, {}});
      stream.resize(stream.size() - 28);  // the trailer
      double most = level == 0 ? 1.001 : c.most;
      EXPECT_LE(static_cast<double>(stream.size()), most * static_cast<double>(c.content.size()) + 16);
      uint8_t* block = nullptr;
      uint32_t length = 0;
      ASSERT_EQ(inflate_buffer(&block, &length, stream.data(), static_cast<uint32_t>(stream.size())), 0);
      EXPECT_EQ(Bytes(block, block + length), c.content);
      heap_free(block);
    }
  }
}

}  // namespace
