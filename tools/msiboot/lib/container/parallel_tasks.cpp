#include "container/parallel_tasks.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace msiboot_tool {

void run_parallel(size_t count, const std::function<void(size_t)>& task) {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr first_failure;
  std::mutex failure_lock;
  auto worker = [&] {
    for (size_t i = next++; i < count && !failed; i = next++) {
      try {
        task(i);
      } catch (...) {
        std::lock_guard<std::mutex> hold(failure_lock);
        if (!first_failure) first_failure = std::current_exception();
        failed = true;
      }
    }
  };
  size_t threads = std::thread::hardware_concurrency();
  if (threads == 0) threads = 1;
  if (threads > count) threads = count;
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& thread : pool) thread.join();
  if (first_failure) std::rethrow_exception(first_failure);
}

}  // namespace msiboot_tool
