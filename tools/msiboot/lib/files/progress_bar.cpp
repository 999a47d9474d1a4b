#include "files/progress_bar.h"

#include <unistd.h>

#include <cstdio>

#include "files/quiet_output.h"

namespace msiboot_tool {
namespace {

constexpr size_t kThreshold = 50u * 1000 * 1000;
constexpr int kWidth = 40;

}  // namespace

ProgressBar::ProgressBar(std::string label, size_t total)
    : label_(std::move(label)), total_(total), enabled_(total > kThreshold && !quiet_output() && isatty(STDERR_FILENO)) {
  if (enabled_) draw(0);
}

ProgressBar::~ProgressBar() {
  if (enabled_ && shown_ >= 0) std::fputc('\n', stderr);
}

void ProgressBar::advance(size_t bytes) {
  if (!enabled_) return;
  std::lock_guard<std::mutex> hold(lock_);
  done_ += bytes;
  int percent = static_cast<int>(done_ >= total_ ? 100 : done_ * 100 / total_);
  if (percent != shown_) draw(percent);
}

void ProgressBar::draw(int percent) {
  shown_ = percent;
  int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled,
               "########################################", kWidth - filled, "", percent);
  std::fflush(stderr);
}

}  // namespace msiboot_tool
