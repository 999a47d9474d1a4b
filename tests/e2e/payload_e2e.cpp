// The stub with a container appended to its file, run under wine: a valid container gets past
// payload discovery to the package choice, which finds no x64 package in it (code 13); a
// container that cannot be found or verified stops discovery with its own code. Every failure
// shows string 101.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container_writer.h"
#include "manifest_writer.h"
#include "wine_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace msiboot_tool;

constexpr int kNothingFits = 13;
constexpr int kNotFound = 1168;
constexpr int kNotVerified = 1392;

class PayloadE2e : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(load_signing_key(test_key_path(), &key_)); }

  // A manifest naming one x86 package, and that package.
  Bytes container(RecordFault manifest_fault, RecordFault file_fault) const {
    ManifestWriter manifest;
    manifest.package(1000, "x86", "1033", "{6B29FC40-CA47-1067-B31D-00DD010662DA}", "Example");
    return write_container({{true, 0, manifest.bytes(), manifest_fault},
                            {false, 1000, Bytes(4096, 0x42), file_fault}},
                           key_);
  }

  void expect_outcome(const std::string& name, const Bytes& appended, int exit_code) const {
    SCOPED_TRACE(name);
    RobotRun run = run_under_robot(make_stub_copy(name, appended), {});
    ASSERT_FALSE(run.timed_out) << run.transcript;
    EXPECT_EQ(run.exit_code, exit_code) << run.transcript;
    ASSERT_EQ(run.boxes.size(), 1u) << run.transcript;
    EXPECT_EQ(run.boxes[0].caption, name);
    EXPECT_EQ(run.boxes[0].text, stub_resource_string(101));
  }

  SigningKey key_;
};

TEST_F(PayloadE2e, ValidContainerGetsPastDiscovery) {
  expect_outcome("valid.exe", container(RecordFault::None, RecordFault::None), kNothingFits);
}

TEST_F(PayloadE2e, ManifestNotMatchingItsSignatureIsRefused) {
  expect_outcome("tampered.exe", container(RecordFault::TamperedContent, RecordFault::None),
                 kNotVerified);
}

TEST_F(PayloadE2e, ContainerCutByOneByteIsNotFound) {
  Bytes cut = container(RecordFault::None, RecordFault::None);
  cut.pop_back();
  expect_outcome("cut.exe", cut, kNotFound);
}

TEST_F(PayloadE2e, UnsignedContainerIsRefused) {
  expect_outcome("unsigned.exe", container(RecordFault::Unsigned, RecordFault::Unsigned),
                 kNotVerified);
}

}  // namespace
