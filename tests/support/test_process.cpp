#include "test_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace msiboot_test {
namespace {

// Spawns argv with stdin from /dev/null and stdout, stderr on the given descriptors.
pid_t spawn(const std::vector<std::string>& argv, int out, int err, const std::vector<int>& close_in_child) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  for (int fd : close_in_child) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  return pid;
}

// Reads both pipes to their end, or until the deadline; false when it passed.
bool drain(int out_fd, int err_fd, int deadline_ms, ProcessRun& run) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* texts[2] = {&run.out, &run.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    int left = -1;
    if (deadline_ms > 0) {
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (ms.count() <= 0) return false;
      left = static_cast<int>(ms.count());
    }
    if (poll(fds, 2, left) < 0 && errno != EINTR) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        texts[i]->append(buffer, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  return true;
}

}  // namespace

ProcessRun run_process(const std::vector<std::string>& argv, int deadline_ms) {
  int out[2], err[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    throw std::runtime_error("pipe failed");
  }
  ProcessRun run;
  pid_t pid = -1;
  try {
    pid = spawn(argv, out[1], err[1], {out[0], out[1], err[0], err[1]});
  } catch (...) {
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    throw;
  }
  close(out[1]);
  close(err[1]);
  if (!drain(out[0], err[0], deadline_ms, run)) {
    kill(pid, SIGKILL);
    run.killed = true;
  }
  close(out[0]);
  close(err[0]);
  ProcessRun ended = wait_process(pid);
  run.exit_code = run.killed ? -1 : ended.exit_code;
  run.signal = ended.signal;
  return run;
}

pid_t start_process(const std::vector<std::string>& argv) {
  int null = open("/dev/null", O_WRONLY);
  if (null < 0) throw std::runtime_error("cannot open /dev/null");
  pid_t pid = spawn(argv, null, null, {null});
  close(null);
  return pid;
}

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
