// The signature-table reader over signed images written by the host build's fixture generator;
// the windows build runs the same cases through CryptoAPI.
#include "payload/signature_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "payload/payload_blob.h"
#include "shared/byte_reader.h"
#include "test_bytes.h"
#ifndef _WIN32
#include "platform/heap_test.h"
#endif

#ifndef MSIBOOT_SIGNATURE_FIXTURES
#error "MSIBOOT_SIGNATURE_FIXTURES names the folder of the generated signed images"
#endif

namespace {

bool read_file(const std::string& path, Bytes* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  uint8_t chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  fclose(file);
  return true;
}

std::string fixture_path(const std::string& name) {
  return std::string(MSIBOOT_SIGNATURE_FIXTURES) + "/" + name;
}

Bytes image(const std::string& name) {
  Bytes bytes;
  EXPECT_TRUE(read_file(fixture_path(name + ".exe"), &bytes))
      << "missing " << fixture_path(name + ".exe") << ": build the host tree first";
  return bytes;
}

// The containers the reader should find in the named image, in order.
std::vector<Bytes> expected_blobs(const std::string& name) {
  std::vector<Bytes> blobs;
  Bytes bytes;
  while (read_file(fixture_path(name + "." + std::to_string(blobs.size()) + ".bin"), &bytes)) {
    blobs.push_back(bytes);
    bytes.clear();
  }
  return blobs;
}

struct Outcome {
  Status status;
  std::vector<Bytes> blobs;
};

// Runs the reader on a copy of exactly the image's size, so any read past it is caught by the
// sanitizers, and takes the blobs it appended.
Outcome read_table(const Bytes& bytes) {
  PayloadSet set = {};
  Bytes copy = bytes;
  Outcome outcome;
  outcome.status = read_signature_table(set, copy.data(), static_cast<uint32_t>(copy.size()));
  EXPECT_EQ(copy, bytes) << "the image was changed";
  for (uint32_t i = 0; i < set.blob_count; ++i) {
    const PayloadBlob& blob = set.blobs[i];
    EXPECT_EQ(blob.flags, uint32_t{kPayloadCompressed | kPayloadSigned});
    EXPECT_NE(blob.manifest, nullptr);
    EXPECT_NE(blob.manifest_size, 0u);
    outcome.blobs.emplace_back(blob.data, blob.data + blob.size);
  }
  free_blobs(set);
  return outcome;
}

uint32_t get_u32(const Bytes& b, size_t at) { return read_u32le(b.data() + at); }
void put_u32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr Status kNoTable = status_of(0, kSiteSignatureTable);

TEST(SignatureTable, FindsCarriersInCertificateThenExtensionOrder) {
  struct Case {
    const char* name;
    Status status;
  };
  const Case cases[] = {
      {"ordered", kNoTable},           // two carriers in one certificate, one in the next
      {"skipped", kNoTable},           // critical, longer and shorter identifiers passed over
      {"critical-only", kNoTable},
      {"no-carrier", kNoTable},
      {"trailing-carrier", kNoTable},  // a container after the DER message inside the entry
      {"trailing-only", kNoTable},
      {"bad-manifest", status_of(1392, 592)},  // the earlier carrier's blob stays
      {"no-manifest", status_of(1168, 509)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome outcome = read_table(image(c.name));
    if (status_failed(c.status)) {
      EXPECT_EQ(outcome.status, c.status);
    } else {
      EXPECT_EQ(status_code(outcome.status), 0u);
    }
    EXPECT_EQ(outcome.blobs, expected_blobs(c.name));
  }
  EXPECT_EQ(expected_blobs("ordered").size(), 3u);
}

// Header and table damage: each case must give code 0, site 789 and no blob, although the
// undamaged image holds three carriers.
TEST(SignatureTable, UnusableHeadersAreNoTable) {
  const Bytes good = image("ordered");
  ASSERT_GT(good.size(), 0x200u);
  const uint32_t nt = get_u32(good, 0x3C);
  const size_t directory = nt + 168;
  const uint32_t table = get_u32(good, directory);
  const uint32_t table_size = get_u32(good, directory + 4);
  ASSERT_EQ(read_table(good).blobs.size(), 3u);

  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"63 bytes", [&](Bytes& b) { b.resize(63); }},
      {"empty", [&](Bytes& b) { b.clear(); }},
      {"no MZ", [&](Bytes& b) { b[1] = 'X'; }},
      {"e_lfanew 0xFFFFFFFF", [&](Bytes& b) { put_u32(b, 0x3C, 0xFFFFFFFF); }},
      {"e_lfanew 0xFFFFFEF8", [&](Bytes& b) { put_u32(b, 0x3C, 0xFFFFFEF8); }},
      {"headers cut by one byte",
       [&](Bytes& b) {
         b.resize(b.size() > 2000 ? 2000 : b.size());
         put_u32(b, 0x3C, static_cast<uint32_t>(b.size() - 263));
       }},
      {"no PE signature", [&](Bytes& b) { b[nt + 2] = 1; }},
      {"PE32", [&](Bytes& b) { b[nt + 24] = 0x0B, b[nt + 25] = 0x01; }},
      {"no table", [&](Bytes& b) { put_u32(b, nt + 168, 0), put_u32(b, nt + 172, 0); }},
      {"table of 7 bytes", [&](Bytes& b) { put_u32(b, nt + 172, 7); }},
      {"table one byte past the end", [&](Bytes& b) { put_u32(b, nt + 172, table_size + 1); }},
      {"image one byte short", [&](Bytes& b) { b.pop_back(); }},
      {"offset plus size wraps", [&](Bytes& b) { put_u32(b, nt + 168, 0xFFFFFFF8); }},
      {"entry shorter than its header", [&](Bytes& b) { put_u32(b, table, 7); }},
      {"entry longer than the table", [&](Bytes& b) { put_u32(b, table, table_size + 1); }},
      {"entry length 0xFFFFFFFF", [&](Bytes& b) { put_u32(b, table, 0xFFFFFFFF); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes damaged = good;
    c.damage(damaged);
    Outcome outcome = read_table(damaged);
    EXPECT_EQ(outcome.status, kNoTable);
    EXPECT_TRUE(outcome.blobs.empty());
  }
}

// An entry the decoder cannot take ends discovery with a failure, so the fallback is not tried.
TEST(SignatureTable, UndecodableMessageFailsAtTheUpdate) {
  const Bytes good = image("no-carrier");
  ASSERT_GT(good.size(), 0x200u);
  const uint32_t table = get_u32(good, get_u32(good, 0x3C) + 168);
  const uint32_t entry_length = get_u32(good, table);

  Bytes garbage = good;
  for (size_t i = table + 8; i < table + entry_length; ++i) garbage[i] = 0xA5;
  Bytes cut = good;  // the entry ends in the middle of the DER message
  put_u32(cut, table, entry_length / 2);
  Bytes empty = good;  // the entry is only its header
  put_u32(empty, table, 8);

  for (const Bytes* damaged : {&garbage, &cut, &empty}) {
    Outcome outcome = read_table(*damaged);
    EXPECT_EQ(status_site(outcome.status), uint32_t{kSiteMessageUpdate});
    EXPECT_NE(status_code(outcome.status), 0u);
    EXPECT_TRUE(outcome.blobs.empty());
  }
}

#ifndef _WIN32
// Every allocation the reader makes, failed in turn: nothing may stay allocated but the blobs it
// appended, and those must be the first carriers in order.
TEST(SignatureTableMemory, EveryFailedAllocationLeavesOnlyWholeBlobs) {
  for (const char* name : {"ordered", "bad-manifest"}) {
    SCOPED_TRACE(name);
    const Bytes bytes = image(name);
    const std::vector<Bytes> expected = expected_blobs(name);
    PayloadSet set = {};
    const size_t live = heap_test_live_blocks();
    bool reached_the_end = false;
    for (size_t n = 1; n < 2000 && !reached_the_end; ++n) {
      heap_test_fail_at(n);
      Status status = read_signature_table(set, bytes.data(), static_cast<uint32_t>(bytes.size()));
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
#endif

}  // namespace
