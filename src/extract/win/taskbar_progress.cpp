#include "extract/win/taskbar_progress.h"

#include <windows.h>
// windows.h first: the headers below depend on it.
#include <objbase.h>
#include <shobjidl.h>

#include "platform/heap.h"

namespace {

// {56FDF344-FD6D-11D0-958A-006097C9A090} and {EA1AFB91-9E28-4B86-90E9-9E9F8A5EEFAF}, built in so
// that the stub needs no GUID library.
constexpr CLSID kClsidTaskbarList = {0x56FDF344, 0xFD6D, 0x11D0,
                                     {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr IID kIidTaskbarList3 = {0xEA1AFB91, 0x9E28, 0x4B86,
                                  {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};
constexpr DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// Taskbar progress exists from Windows 7 (6.1) on. A failed query reads as version 0.
bool system_has_taskbar_progress() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
}

HWND window_of(const TaskbarProgress* progress) { return static_cast<HWND>(progress->window); }

void show_values(const TaskbarProgress* progress) {
  if (progress->taskbar_list != nullptr) {
    progress->taskbar_list->SetProgressValue(window_of(progress), progress->completed, progress->total);
  }
}

}  // namespace

TaskbarProgress* taskbar_progress_create() {
  if (!system_has_taskbar_progress()) return nullptr;
  // The main sequence has initialised COM on this thread already; this only raises its count.
  CoInitialize(nullptr);
  auto* progress = static_cast<TaskbarProgress*>(heap_alloc(kHeapZeroInit, sizeof(TaskbarProgress)));
  if (progress == nullptr) return nullptr;
  // On failure the interface stays null and the wrapper is still returned.
  CoCreateInstance(kClsidTaskbarList, nullptr, kClassContext, kIidTaskbarList3,
                   reinterpret_cast<void**>(&progress->taskbar_list));
  return progress;
}

void taskbar_progress_release(TaskbarProgress* progress) {
  if (progress == nullptr) return;
  if (progress->taskbar_list != nullptr) progress->taskbar_list->Release();
  heap_free(progress);
}

void taskbar_progress_set_window(TaskbarProgress* progress, void* window) {
  if (progress != nullptr) progress->window = window;
}

void taskbar_progress_set_state(TaskbarProgress* progress, uint32_t flag) {
  if (progress == nullptr || progress->taskbar_list == nullptr) return;
  progress->taskbar_list->SetProgressState(window_of(progress), flag != 0 ? TBPF_NORMAL : TBPF_NOPROGRESS);
}

void taskbar_progress_set_total(TaskbarProgress* progress, uint64_t total) {
  if (progress == nullptr) return;
  progress->total = total;
  show_values(progress);
}

void taskbar_progress_set_completed(TaskbarProgress* progress, uint64_t completed) {
  if (progress == nullptr) return;
  progress->completed = completed;
  show_values(progress);
}
