// The robot and the harness, checked against a scripted target program whose boxes, windows and
// exit codes are known in advance.
#include <gtest/gtest.h>

#include <string>

#include "wine_harness.h"

namespace {

constexpr const char* kMbOk = "0";
constexpr const char* kMbRetryCancel = "5";
constexpr const char* kMbYesNo = "4";

std::string target() {
  std::string robot = MSIBOOT_ROBOT;
  return robot.substr(0, robot.rfind('/') + 1) + "msiboot-robot-target.exe";
}

TEST(RobotE2e, TextsComeBackExactlyWhateverTheyHold) {
  RobotRun run = run_under_robot(target(), {"box", kMbOk, "A \\qcaption\\q",
                                            "line one\\nsaid \\qhi\\q in C:\\dir\\e", "exit", "0"});
  ASSERT_EQ(run.boxes.size(), 1u) << run.transcript;
  EXPECT_EQ(run.boxes[0].caption, "A \"caption\"");
  EXPECT_EQ(run.boxes[0].text, "line one\nsaid \"hi\" in C:\\dir\u00e9");
  EXPECT_EQ(run.transcript.find("line one\n"), std::string::npos) << "one event, one line";
}

TEST(RobotE2e, ButtonsArePressedInTheOrderGivenThenOk) {
  RobotRun run = run_under_robot(target(),
                                 {"box", kMbRetryCancel, "c1", "t1", "box", kMbYesNo, "c2", "t2",
                                  "box", kMbRetryCancel, "c3", "t3", "box", kMbOk, "c4", "t4",
                                  "report"},
                                 {"Retry", "No", "Cancel"});
  ASSERT_FALSE(run.timed_out) << run.transcript;
  EXPECT_EQ(run.presses, (std::vector<std::string>{"Retry", "No", "Cancel", "OK", "OK"}));
  ASSERT_EQ(run.boxes.size(), 5u) << run.transcript;
  EXPECT_EQ(run.boxes[4].caption, "report");
  EXPECT_EQ(run.boxes[4].text, "4,7,2,1");  // IDRETRY, IDNO, IDCANCEL, IDOK
  EXPECT_EQ(run.exit_code, 0);
}

TEST(RobotE2e, AButtonTheBoxLacksIsReportedAndTheBoxStillCloses) {
  RobotRun run = run_under_robot(target(), {"box", kMbOk, "c", "t", "exit", "5"}, {"Retry"});
  ASSERT_FALSE(run.timed_out) << run.transcript;
  EXPECT_EQ(run.presses, (std::vector<std::string>{"missing Retry"}));
  EXPECT_EQ(run.exit_code, 5);
}

TEST(RobotE2e, ArgumentsWithBlanksArriveWhole) {
  RobotRun run = run_under_robot(target(), {"args", "two words", "", "C:\\Program Files\\X", "x"});
  ASSERT_EQ(run.boxes.size(), 1u) << run.transcript;
  EXPECT_EQ(run.boxes[0].text, "args|two words||C:\\Program Files\\X|x");
}

TEST(RobotE2e, ExitCodesComeBackWhole) {
  for (const char* code : {"0", "1", "255", "256", "1603", "70000", "3221225477"}) {
    RobotRun run = run_under_robot(target(), {"exit", code});
    ASSERT_FALSE(run.timed_out) << run.transcript;
    EXPECT_EQ(static_cast<uint32_t>(run.exit_code), std::stoul(code)) << run.transcript;
    EXPECT_TRUE(run.boxes.empty());
  }
}

TEST(RobotE2e, OtherWindowsAndTheirProgressBarsAreRecorded) {
  RobotRun run = run_under_robot(target(), {"window", "Writing files", "exit", "0"});
  ASSERT_EQ(run.windows.size(), 1u) << run.transcript;
  EXPECT_EQ(run.windows[0].class_name, "MsibootRobotTarget");
  EXPECT_EQ(run.windows[0].caption, "Writing files");
  ASSERT_FALSE(run.progress.empty()) << run.transcript;
  EXPECT_EQ(run.progress.back().pos, 40);
  EXPECT_EQ(run.progress.back().max, 100);
  EXPECT_TRUE(run.boxes.empty());
}

TEST(RobotE2e, AHungProgramIsEndedAndSaysSo) {
  RobotRun run = run_under_robot(target(), {"sleep", "60000"}, {}, 1500);
  EXPECT_TRUE(run.timed_out) << run.transcript;
  EXPECT_NE(run.transcript.find("timeout\nexit "), std::string::npos) << run.transcript;
  EXPECT_NE(run.exit_code, 0);
}

}  // namespace
