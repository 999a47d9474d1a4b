// The stub with a container appended to its file, run under wine: a valid container gets past
// payload discovery to the package choice, which finds no x64 package in it (code 13); a
// container that cannot be found or verified stops discovery with its own code. Every failure
// shows string 101.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "container/layout.h"
#include "files/file_bytes.h"
#include "payload/container.h"
#include "wine_harness.h"

namespace {

using msiboot_test::RecordFault;

// A manifest record whose 5 MB data field would inflate to about 5 GB of zeros, its signature
// over other bytes: the stub once spent 38 s and 7.2 GiB on it before refusing it. The zlib stream
// is fully flushed after each MiB, so that every MiB after the first deflates to the same piece.
std::vector<uint8_t> manifest_bomb(size_t stream_size) {
  z_stream z = {};
  deflateInit(&z, 9);
  std::vector<uint8_t> zeros(1 << 20, 0), piece(64 * 1024), stream;
  std::vector<uint8_t> pieces[3];
  for (auto& out : pieces) {
    z.next_in = zeros.data();
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = piece.data();
    z.avail_out = static_cast<uInt>(piece.size());
    deflate(&z, Z_FULL_FLUSH);
    out.assign(piece.begin(), piece.end() - z.avail_out);
  }
  deflateEnd(&z);
  EXPECT_EQ(pieces[1], pieces[2]);
  stream = pieces[0];
  while (stream.size() < stream_size) stream.insert(stream.end(), pieces[1].begin(), pieces[1].end());
  const uint32_t data_length = static_cast<uint32_t>(stream.size());
  stream.resize(stream.size() + 256, 0x5A);  // a signature of nothing
  msiboot_tool::append_trailer(stream, ManifestRecordType, 0, 256, data_length);
  return stream;
}

// The bomb is refused within the robot's time, which it would far exceed inflating 5 GB (the run's
// time and memory are measured outside the tests).
TEST(PayloadE2e, AppendedContainersEndWithTheirOwnCodes) {
  std::vector<uint8_t> cut = x86_only_container();
  cut.pop_back();
  const struct {
    const char* name;
    std::vector<uint8_t> appended;
    int exit_code;
  } cases[] = {
      {"valid.exe", x86_only_container(), 13},
      {"tampered.exe", x86_only_container(RecordFault::TamperedContent), 1392},
      {"cut.exe", cut, 1168},
      {"unsigned.exe", x86_only_container(RecordFault::Unsigned, RecordFault::Unsigned), 1392},
      {"bomb.exe", manifest_bomb(5u << 20), 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_failure_box(run_under_robot(make_stub_copy(c.name, c.appended), {}, {}, 30000), c.exit_code, c.name);
  }
}

}  // namespace
