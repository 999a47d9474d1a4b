#pragma once
// Runs Windows programs under wine for the end-to-end tests: the built stub (copied, with
// payload bytes appended) is started by the robot, whose transcript says which boxes and windows
// appeared, which buttons were pressed and how the program ended.
#include <cstdint>
#include <string>
#include <vector>

struct RobotBox {
  std::string caption, text;
};

struct RobotWindow {
  std::string class_name, caption;
};

struct RobotProgress {
  int pos = 0, max = 0;
};

struct RobotRun {
  int exit_code = -1;  // the program's exit code, whole (an NTSTATUS reads negative)
  bool timed_out = false;
  std::vector<RobotBox> boxes;
  std::vector<std::string> windows;  // class names of the other top-level windows, in order
  std::string transcript;            // the robot's whole output, for failure messages
  std::vector<RobotWindow> window_records;  // class and caption of each of those windows
  std::vector<std::string> presses;         // "OK", "Retry", ... or "missing Retry"
  std::vector<RobotProgress> progress;      // each change seen on a window's progress bar
};

// Work folder of this test program (MSIBOOT_WORK_DIR), created on first use.
std::string e2e_work_dir();

// Copies the built stub (MSIBOOT_STUB) into the work folder under file_name, with `appended`
// bytes added at the end; returns the Linux path.
std::string make_stub_copy(const std::string& file_name, const std::vector<uint8_t>& appended = {});

// Runs exe (a Linux path, or a path already in wine's form) under the robot in the shared prefix
// through cmake/wine-run. presses name the buttons for the boxes in order (OK after the list
// runs out); the robot ends the program after timeout_ms.
RobotRun run_under_robot(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& presses = {}, int timeout_ms = 60000);

// Reads the stub's resource string id from the built stub (language 1033), as UTF-8.
std::string stub_resource_string(unsigned id);

// The wine path of a Linux path: wine maps drive Z: to the root.
std::string wine_path(const std::string& linux_path);

// Reads a robot transcript (also used by run_under_robot).
RobotRun parse_robot_transcript(const std::string& transcript);
