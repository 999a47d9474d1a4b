#pragma once
// The progress window's percentage mirrored on its taskbar button, on Windows 7 and later. Every
// operation accepts a null wrapper and a wrapper whose shell object could not be made, and then
// has no visible effect; nothing here ever reports a failure.
#include <cstdint>

struct ITaskbarList3;

struct TaskbarProgress {
  ITaskbarList3* taskbar_list;  // the shell's taskbar list object, or null ("interface" is a macro)
  void* window;              // the window whose button shows the progress
  uint64_t total;            // the value at which the progress is full
  uint64_t completed;
};

// Null before Windows 7 or without memory; a wrapper without interface when the shell object
// cannot be made.
TaskbarProgress* taskbar_progress_create();
void taskbar_progress_release(TaskbarProgress* progress);
void taskbar_progress_set_window(TaskbarProgress* progress, void* window);
// A non-zero flag shows normal progress, zero shows none.
void taskbar_progress_set_state(TaskbarProgress* progress, uint32_t flag);
void taskbar_progress_set_total(TaskbarProgress* progress, uint64_t total);
void taskbar_progress_set_completed(TaskbarProgress* progress, uint64_t completed);
