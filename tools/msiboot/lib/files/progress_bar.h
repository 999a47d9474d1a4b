#pragma once
// A progress bar on stderr for long work: drawn only when stderr is a terminal and the input is
// over 50 MB, so that logs and pipes never see it.
#include <cstddef>
#include <mutex>
#include <string>

namespace msiboot_tool {

class ProgressBar {
 public:
  ProgressBar(std::string label, size_t total);
  // Ends the bar's line, whether the work finished or failed.
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Adds bytes done; safe from any thread.
  void advance(size_t bytes);

 private:
  void draw(int percent);
  std::string label_;
  size_t total_, done_ = 0;
  int shown_ = -1;
  bool enabled_;
  std::mutex lock_;
};

}  // namespace msiboot_tool
