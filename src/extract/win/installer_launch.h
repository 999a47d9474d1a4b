#pragma once
// Running the Windows Installer engine on the written package: finding it, building its command
// line, starting it and waiting for its exit code.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "shared/status.h"

constexpr uint32_t kInstallerPathSize = 1024;
constexpr uint32_t kCommandLineSize = 1024;
constexpr uint32_t kSiteInstallerSearch = 2161;
constexpr uint32_t kSiteInstallerStart = 2355;
constexpr uint32_t kSiteInstallerExit = 2349;

// Finds "msiexec.exe" in the system directory, never beside the program or in the current
// directory: this process runs elevated. path has kInstallerPathSize bytes. 1155 at 2161 when
// it is not there.
Status find_installer(char* path);

// Fills line (kCommandLineSize bytes): the installer, /i and the package, then every argument
// after the program name in order, each quoted when it holds white space. Returns 0; 206 when the
// whole does not fit (line is then empty); 1113 when an argument has a character without an exact
// equivalent in the narrow code page, or the conversion's error when an argument cannot be
// converted, with *failed (when not null) the argument's index. No argument is ever dropped or
// changed.
uint32_t build_installer_command(const char* installer, const char* package,
                                 char16_t* const* argv, int argc, char* line,
                                 int* failed = nullptr);

struct InstallerLaunch {
  const char* installer_path;
  const char* package_path;
  char16_t* const* argv;
  int argc;
  int show_command;  // the program's own; its low 16 bits go to the installer's window
};

// Runs the installer and waits for it without a time-out. *exit_code receives its exit code and
// keeps its value when the installer never ran or the code cannot be read. A launch failure is
// reported with the installer path as context in text, or, for an argument without an exact
// narrow equivalent, with that argument as the code page shows it ('?' for what it cannot spell); a non-zero exit code becomes the status
// at 2349 and sets *silenced, since the installer has told the user already.
Status launch_installer(const InstallerLaunch& launch, uint32_t* exit_code, char* text,
                        size_t text_size, bool* silenced);

// The process calls of the launch; tests replace them to play an installer's part.
struct InstallerProcessCalls {
  BOOL(WINAPI* create)(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES process,
                       LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                       LPCSTR directory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info);
  DWORD(WINAPI* wait)(HANDLE handle, DWORD milliseconds);
  BOOL(WINAPI* exit_code)(HANDLE process, LPDWORD code);
  BOOL(WINAPI* close)(HANDLE handle);
};
extern InstallerProcessCalls installer_process_calls;
