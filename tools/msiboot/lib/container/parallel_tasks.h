#pragma once
// Runs numbered tasks on every core.
#include <cstddef>
#include <functional>

namespace msiboot_tool {

// Calls task(0) to task(count - 1), each once, on up to hardware-concurrency threads, tasks taken
// in index order as threads come free. The first exception a task throws is thrown here once all
// threads have stopped; tasks not yet started are then skipped.
void run_parallel(size_t count, const std::function<void(size_t)>& task);

}  // namespace msiboot_tool
