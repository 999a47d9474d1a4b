// find_record on one 64 MiB file record (incompressible, and about 3:1 compressible) against the
// floor of the same work: one zlib uncompress of the record's stream into a fresh block plus one
// SHA-256 of the result. Prints the ratio of each pair; the target is within 1.25x.
#include <benchmark/benchmark.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "container/signing_key.h"
#include "payload/container.h"
#include "platform/heap.h"
#include "test_keys.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace msiboot_tool;

constexpr size_t kRecordSize = 64u << 20;

struct Fixture {
  Bytes content;
  Bytes container;
  Bytes stream;  // the record's data field
  Bytes key_blob;
};

// Incompressible: uniform random bytes. Compressible: random picks among five byte values, which
// deflate stores at about 3:1.
Bytes make_content(bool compressible) {
  std::mt19937_64 random(compressible ? 3 : 1);
  Bytes bytes(kRecordSize);
  for (size_t i = 0; i < bytes.size(); i += 8) {
    uint64_t r = random();
    for (size_t j = 0; j < 8; ++j) {
      uint8_t b = static_cast<uint8_t>(r >> (8 * j));
      bytes[i + j] = compressible ? static_cast<uint8_t>('a' + b % 5) : b;
    }
  }
  return bytes;
}

const Fixture& fixture(bool compressible) {
  static std::map<bool, Fixture> fixtures;
  auto found = fixtures.find(compressible);
  if (found != fixtures.end()) return found->second;
  SigningKey key;
  if (!load_signing_key(msiboot_test::test_key_path(), &key)) std::abort();
  Fixture f;
  f.content = make_content(compressible);
  f.stream = msiboot_test::zlib_compress(f.content);
  f.container = join_parts(write_container_parts({{true, 0, Bytes{'m'}}, {false, 1000, f.content}}, key));
  f.key_blob = public_key_blob(key);
  std::fprintf(stderr, "%s record: %zu bytes stored, %.2f:1\n",
               compressible ? "compressible" : "incompressible", f.stream.size(),
               static_cast<double>(f.content.size()) / static_cast<double>(f.stream.size()));
  return fixtures.emplace(compressible, std::move(f)).first->second;
}

void find_record_64mib(benchmark::State& state, bool compressible) {
  const Fixture& f = fixture(compressible);
  PayloadBlob blob = {};
  blob.data = const_cast<uint8_t*>(f.container.data());
  blob.size = static_cast<uint32_t>(f.container.size());
  blob.flags = kPayloadCompressed | kPayloadSigned;
  for (auto _ : state) {
    uint8_t* content = nullptr;
    uint32_t length = 0;
    Status status = find_record_with_key(blob, FileRecordType, 1000, f.key_blob.data(),
                                         static_cast<uint32_t>(f.key_blob.size()), &content, &length);
    if (status_failed(status) || length != kRecordSize) state.SkipWithError("lookup failed");
    benchmark::DoNotOptimize(content);
    heap_free(content);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordSize));
}

void uncompress_and_hash_64mib(benchmark::State& state, bool compressible) {
  const Fixture& f = fixture(compressible);
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> out(new uint8_t[kRecordSize]);
    uLongf length = kRecordSize;
    if (uncompress(out.get(), &length, f.stream.data(), static_cast<uLong>(f.stream.size())) != Z_OK) {
      state.SkipWithError("uncompress failed");
    }
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(out.get(), length, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordSize));
}

// Keeps each benchmark's mean real time so that the ratios can be printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void print_ratio(const std::string& kind) const {
    auto lookup = times_.find("find_record/" + kind);
    auto floor = times_.find("uncompress+sha256/" + kind);
    if (lookup == times_.end() || floor == times_.end()) return;
    double ratio = lookup->second / floor->second;
    std::printf("%s: find_record %.1f ms, floor %.1f ms, ratio %.3fx (target 1.25x): %s\n",
                kind.c_str(), lookup->second, floor->second, ratio,
                ratio <= 1.25 ? "within" : "OVER");
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  for (bool compressible : {false, true}) {
    std::string kind = compressible ? "compressible" : "incompressible";
    benchmark::RegisterBenchmark(("find_record/" + kind).c_str(), find_record_64mib, compressible)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
    benchmark::RegisterBenchmark(("uncompress+sha256/" + kind).c_str(), uncompress_and_hash_64mib,
                                 compressible)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratio("incompressible");
  reporter.print_ratio("compressible");
  benchmark::Shutdown();
  return 0;
}
