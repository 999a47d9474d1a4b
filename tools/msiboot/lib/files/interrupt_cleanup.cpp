#include "files/interrupt_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

constexpr int kSlots = 256;

// The handler reads the table from any thread; a slot's path is complete before it is marked used.
struct Slot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};
Slot slots[kSlots];
std::mutex table_lock;  // between registering threads; the handler takes no lock

void remove_registered(int signal_number) {
  for (int i = kSlots - 1; i >= 0; --i) {
    if (!slots[i].used.load()) continue;
    if (unlink(slots[i].path) != 0) rmdir(slots[i].path);
  }
  // Ends the process as the signal would have.
  ::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void install_handlers() {
  struct sigaction action = {};
  action.sa_handler = remove_registered;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

}  // namespace

int remove_on_interrupt(const std::string& path) {
  static std::once_flag installed;
  std::call_once(installed, install_handlers);
  std::lock_guard<std::mutex> guard(table_lock);
  if (path.size() >= PATH_MAX) throw ToolError(path, "the path is too long");
  // Later paths take later slots, so a folder's files are removed before the folder.
  int last = -1;
  for (int i = 0; i < kSlots; ++i) {
    if (slots[i].used.load()) last = i;
  }
  for (int i = last + 1; i < kSlots; ++i) {
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].used.store(true);
    return i;
  }
  throw ToolError(path, "too many temporary files at once");
}

void forget_on_interrupt(int slot) {
  if (slot >= 0 && slot < kSlots) slots[slot].used.store(false);
}

}  // namespace msiboot_tool
