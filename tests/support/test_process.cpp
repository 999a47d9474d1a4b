#include "test_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace msiboot_test {
namespace {

// Spawns argv with stdin from /dev/null, stdout and stderr into the files given.
pid_t spawn(const std::vector<std::string>& argv, const char* out, const char* err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err, O_WRONLY | O_TRUNC, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  return pid;
}

// A file of its own for an output, removed once read.
std::string scratch_file() {
  char path[] = "/tmp/msiboot-output-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("cannot make a scratch file");
  close(fd);
  return path;
}

std::string take(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  unlink(path.c_str());
  return text.str();
}

}  // namespace

ProcessRun run_process(const std::vector<std::string>& argv, int deadline_ms) {
  const std::string out = scratch_file(), err = scratch_file();
  pid_t pid = spawn(argv, out.c_str(), err.c_str());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
  bool killed = false;
  // Until it ends (left to wait_process to reap) or the deadline passes.
  siginfo_t ended = {};
  while (deadline_ms > 0 && !killed && waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         ended.si_pid == 0) {
    killed = std::chrono::steady_clock::now() >= deadline;
    if (killed) kill(pid, SIGKILL);
    usleep(10000);
  }
  ProcessRun run = wait_process(pid);
  run.killed = killed;
  if (killed) run.exit_code = -1;
  run.out = take(out);
  run.err = take(err);
  return run;
}

pid_t start_process(const std::vector<std::string>& argv) { return spawn(argv, "/dev/null", "/dev/null"); }

ProcessRun wait_process(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ProcessRun run;
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  return run;
}

}  // namespace msiboot_test
