// The stub with a container appended to its file, run under wine: a valid container gets past
// payload discovery to the package choice, which finds no x64 package in it (code 13); a
// container that cannot be found or verified stops discovery with its own code. Every failure
// shows string 101.
#include <gtest/gtest.h>

#include "wine_harness.h"

namespace {

using msiboot_test::RecordFault;

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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_failure_box(run_under_robot(make_stub_copy(c.name, c.appended), {}), c.exit_code, c.name);
  }
}

}  // namespace
