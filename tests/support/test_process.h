#pragma once
// The tests' one way to run a program: argv as given (the program looked up on PATH unless it is
// a path), stdin from /dev/null, stdout and stderr captured.
#include <sys/types.h>

#include <string>
#include <vector>

namespace msiboot_test {

struct ProcessRun {
  int exit_code = -1;   // -1 when it did not exit on its own (a signal, or the deadline)
  int signal = 0;       // the signal that ended it, if one did
  bool killed = false;  // the deadline passed and it was killed
  std::string out, err;
};

// Runs argv to its end, or until deadline_ms passes (0: no deadline). Throws std::runtime_error
// when it cannot be started.
ProcessRun run_process(const std::vector<std::string>& argv, int deadline_ms = 0);

// Starts argv with its output discarded, for a test that signals it; end it with wait_process.
pid_t start_process(const std::vector<std::string>& argv);
ProcessRun wait_process(pid_t pid);

}  // namespace msiboot_test
