// The process entry: reads the own file, finds and verifies the payload, writes the chosen package
// and runs the installer, keeping the first failure as the run's status and exit code.
#include <windows.h>
// windows.h first: the headers below depend on it.
#include <commctrl.h>
#include <objbase.h>
#include <string.h>

#include "driver/command_line.h"
#include "driver/win/bootstrap_state.h"
#include "driver/win/final_report.h"
#include "driver/win/module_path.h"
#include "driver/win/own_file.h"
#include "driver/win/resource_strings.h"
#include "driver/win/system_dll_search.h"
#include "extract/win/installer_launch.h"
#include "extract/win/item_cleanup.h"
#include "extract/win/progress_dialog.h"
#include "extract/win/target_folder.h"
#include "extract/win/taskbar_progress.h"
#include "payload/item_collection.h"
#include "payload/package_choice.h"
#include "payload/payload_discovery.h"
#include "platform/bounded_format.h"
#include "platform/error_codes.h"
#include "platform/heap.h"
#include "platform/system_library_win.h"

namespace {

enum MainSite : uint32_t {
  kSiteArgumentTable = 2411,
  kSiteModulePath = 2406,
  kSiteSystemFunctions = 2401,
  kSiteProgressWindow = 2280,
};

constexpr char kWindowClassName[] = "MSI_STUB_WINDOW_CLASS_NAME";
constexpr char kFaceName[] = "MS Sans Serif";

void copy_text(char* text, const char* source) {
  bounded_format(text, kMessageBufferSize, "%s", source);
}

// Reads the own file, opened by its wide path, and discovers the payload in it; the image is freed
// here unless it became the payload's container.
Status load_payload() {
  uint8_t* image = nullptr;
  uint32_t size = 0;
  wchar_t* path = get_wide_module_path();
  if (path == nullptr) return status_of(kErrorCantResolveFilename, kSiteModulePath);
  Status status = read_own_file(path, &image, &size);
  heap_free(path);
  if (!status_failed(status)) status = discover_payload(bootstrap_state.payload, &image, size);
  heap_free(image);
  return status;
}

// The chosen package's items written under the progress window; any result but success is a
// write fault whose report the window has already dealt with.
Status write_items(ItemWriter& writer, const PackageChoice& choice, bool quiet, bool* silenced) {
  ProgressWindow window = {&writer, bootstrap_state.taskbar,
                           static_cast<HINSTANCE>(bootstrap_state.instance), quiet};
  INT_PTR result = run_progress_dialog(window, kWindowClassName, choice.title_units, kFaceName);
  if (result == kProgressWritten) return status_of(0, kSiteProgressWindow);
  *silenced = true;
  return status_of(kErrorWriteFault, kSiteProgressWindow);
}

// Package choice, installer search, target folder, writing and the installer; then the clean-up,
// whatever step failed.
Status prepare_and_install(const ResourceStrings& strings, char* text, bool* silenced) {
  BootstrapState& state = bootstrap_state;
  state.taskbar = taskbar_progress_create();
  PackageChoice choice = {};
  ItemWriter writer = empty_item_writer();
  Status status = choose_package(state.payload, &state.language, choice, writer, strings.corrupt,
                                 text, kMessageBufferSize);
  // The items hold their verified contents now; the payload is not read again.
  free_blobs(state.payload);

  char installer_path[kInstallerPathSize] = {};
  if (!status_failed(status)) {
    status = find_installer(installer_path);
    if (status_failed(status)) copy_text(text, strings.no_installer);
  }

  // Held from here until the installer has exited; the package path names it by its final path.
  // With the installer's quiet switches nothing may wait for a person.
  static HeldFolder folder;
  bool quiet = has_quiet_switch(state.argv, state.argc);
  if (!status_failed(status)) {
    status = choose_target_folder(writer, choice.folder, strings.browse_title, quiet, folder);
    if (status_failed(status)) *silenced = true;  // cancelled, or quiet: no box either way
  }
  if (!status_failed(status)) status = write_items(writer, choice, quiet, silenced);

  uint32_t exit_code = kErrorInstallServiceFailure;  // until the installer says otherwise
  if (!status_failed(status)) {
    release_item_data(writer);  // written: the installer may run for long, it reads the files
    InstallerLaunch launch = {installer_path, writer.items[0].path, state.argv, state.argc,
                              state.show_command};
    status = launch_installer(launch, &exit_code, text, kMessageBufferSize, silenced);
  }

  clean_up_items(writer, folder, exit_code, product_registered(choice.folder));
  taskbar_progress_release(state.taskbar);
  state.taskbar = nullptr;
  return status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  lock_dll_search_to_system_directory();
  preload_system_dlls();
  BootstrapState& state = bootstrap_state;
  state = BootstrapState{};
  state.instance = instance;
  state.show_command = show_command;
  const Status functions = status_of(load_system_functions(), kSiteSystemFunctions);
  if (!status_failed(functions)) {
    reinterpret_cast<decltype(&InitCommonControls)>(system_function(kInitCommonControls))();
  }
  CoInitialize(nullptr);
  state.language = GetUserDefaultLCID();
  state.is_64bit = 1;
  bool silenced = false;
  static char text[kMessageBufferSize];
  text[0] = '\0';

  Status status = status_of(0, 0);
  state.argv = split_command_line(reinterpret_cast<const char16_t*>(GetCommandLineW()), &state.argc);
  if (state.argv == nullptr) {
    status = last_error_status(kErrorNotEnoughMemory, kSiteArgumentTable);
  } else if ((state.module_path = get_module_path()) == nullptr) {
    status = status_of(kErrorCantResolveFilename, kSiteModulePath);
  } else if (status_failed(functions)) {
    status = functions;  // the system text for the code, under the file's name
  } else {
    status = load_payload();
    ResourceStrings strings;
    load_resource_strings(instance, &strings);
    if (status_failed(status)) {
      copy_text(text, strings.corrupt);
    } else {
      status = prepare_and_install(strings, text, &silenced);
    }
  }

  show_final_report(status, text, silenced, state.argv, state.argc, state.module_path);

  free_blobs(state.payload);
  heap_free(state.module_path);
  heap_free(state.argv);
  state.module_path = nullptr;
  state.argv = nullptr;
  CoUninitialize();
  return static_cast<int>(status_code(status));
}
