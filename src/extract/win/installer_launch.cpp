#include "extract/win/installer_launch.h"

#include <string.h>

#include "extract/argument_forwarding.h"
#include "platform/bounded_format.h"
#include "platform/error_codes.h"
#include "platform/text.h"
#include "shared/win/status_message.h"

InstallerProcessCalls installer_process_calls = {CreateProcessA, WaitForSingleObject,
                                                 GetExitCodeProcess, CloseHandle};

namespace {

// Appends text at *length, in quotes when it holds a blank. A blank is never a trail byte of a
// multibyte character in the narrow code pages, so a byte search finds exactly the blanks.
bool append_path(char* line, size_t* length, const char* prefix, const char* text) {
  const char* format = strchr(text, ' ') != nullptr ? "%s\"%s\"" : "%s%s";
  int n = bounded_format(line + *length, kCommandLineSize - *length, format, prefix, text);
  if (n < 0) return false;
  *length += static_cast<size_t>(n);
  return true;
}

// How much of an argument a failure message shows.
constexpr int kShownArgumentUnits = 100;

// "argument N: TEXT" for the failure message: the argument as the code page spells it, cut after
// kShownArgumentUnits units.
void describe_argument(const char16_t* arg, int index, char* context, size_t size) {
  char shown[4 * kShownArgumentUnits + 1] = {};
  int units = 0;
  while (units < kShownArgumentUnits && arg[units] != 0) ++units;
  utf16_to_narrow(arg, units, shown, sizeof shown - 1);
  bounded_format(context, size, "argument %d: %s%s", index, shown,
                 arg[units] != 0 ? "..." : "");
}

}  // namespace

Status find_installer(char* path) {
  char system_directory[MAX_PATH] = {};
  UINT n = GetSystemDirectoryA(system_directory, MAX_PATH);
  if (n == 0 || n >= MAX_PATH ||
      SearchPathA(system_directory, "msiexec.exe", nullptr, kInstallerPathSize, path, nullptr) ==
          0) {
    path[0] = '\0';
    return status_of(kErrorNoAssociation, kSiteInstallerSearch);
  }
  return status_of(0, kSiteInstallerSearch);
}

uint32_t build_installer_command(const char* installer, const char* package,
                                 char16_t* const* argv, int argc, char* line, int* failed) {
  memset(line, 0, kCommandLineSize);
  size_t length = 0;
  uint32_t result = 0;
  if (failed != nullptr) *failed = 0;
  if (!append_path(line, &length, "", installer) || !append_path(line, &length, " /i ", package)) {
    result = kErrorFilenameTooLong;
  }
  for (int i = 1; result == 0 && i < argc; ++i) {
    result = append_forwarded_argument(line, kCommandLineSize, &length, argv[i]);
    if (result != 0 && failed != nullptr) *failed = i;
  }
  if (result != 0) line[0] = '\0';
  return result;
}

Status launch_installer(const InstallerLaunch& launch, uint32_t* exit_code, char* text,
                        size_t text_size, bool* silenced) {
  char line[kCommandLineSize];
  int failed = 0;
  uint32_t built = build_installer_command(launch.installer_path, launch.package_path, launch.argv,
                                           launch.argc, line, &failed);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(launch.show_command);
  PROCESS_INFORMATION process = {};
  Status status = status_of(built, kSiteInstallerStart);
  if (built == 0 &&
      !installer_process_calls.create(launch.installer_path, line, nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &startup, &process)) {
    status = last_error_status(kErrorNoProcessSlots, kSiteInstallerStart);
  }
  if (status_failed(status)) {
    char context[kCommandLineSize];
    if (built == kErrorNoUnicodeTranslation) {
      describe_argument(launch.argv[failed], failed, context, sizeof context);
    } else {
      bounded_format(context, sizeof context, "%s", launch.installer_path);
    }
    format_status_message(status_code(status), text, text_size, context);
    return status;
  }
  // A failed wait leaves the installer running and its code unknown, so the code stays unread.
  DWORD code = 0;
  if (installer_process_calls.wait(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
      installer_process_calls.exit_code(process.hProcess, &code)) {
    *exit_code = code;
  }
  installer_process_calls.close(process.hProcess);
  installer_process_calls.close(process.hThread);
  *silenced = *silenced || *exit_code != 0;
  return status_of(*exit_code, kSiteInstallerExit);
}
