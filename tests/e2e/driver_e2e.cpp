// The stub without a payload, run under wine: one error box named after the file, or none when
// the installer's quiet switches are among the arguments; the exit code says why either way.
#include <gtest/gtest.h>

#include "wine_harness.h"

namespace {

constexpr int kNoPayload = 1168;  // the manifest record was not found

TEST(DriverE2e, NoPayloadShowsOneBoxNamedAfterTheFile) {
  RobotRun run = run_under_robot(make_stub_copy("My Setup.exe"), {});
  expect_failure_box(run, kNoPayload, "My Setup.exe");
  EXPECT_TRUE(run.windows.empty()) << run.transcript;
}

TEST(DriverE2e, OnlyTheInstallersQuietSwitchesSilenceTheBox) {
  const struct {
    std::vector<std::string> args;
    bool silenced;
  } cases[] = {
      {{"/quiet"}, true},
      {{"/QN"}, true},
      {{"TARGETDIR=C:\\Program Files\\X", "/q"}, true},
      {{"/l*v", "log.txt", "/Quiet", "/norestart"}, true},
      {{"/qb"}, false},
      {{"/q n"}, false},
  };
  std::string stub = make_stub_copy("quiet setup.exe");
  for (const auto& c : cases) {
    std::string label = testing::PrintToString(c.args);
    RobotRun run = run_under_robot(stub, c.args);
    ASSERT_FALSE(run.timed_out) << label << run.transcript;
    EXPECT_EQ(run.exit_code, kNoPayload) << label << run.transcript;
    EXPECT_EQ(run.boxes.size(), c.silenced ? 0u : 1u) << label << run.transcript;
  }
}

}  // namespace
