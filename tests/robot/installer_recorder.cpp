// Stands in for the installer engine in end-to-end tests and benchmarks: appends to a log file
// which program ran, when, and with which command line, then ends with a chosen exit code.
//
//   MSIBOOT_RECORDER_LOG   the log file (default C:\msiboot-recorder.log)
//   MSIBOOT_RECORDER_EXIT  the exit code (default 1602, the user cancelled)
//   MSIBOOT_RECORDER_PROBE when set, every file in the package's folder (the /i argument's) is
//                          opened for reading as an installer would, then for writing, renamed
//                          and deleted, as another program might try while the installer runs;
//                          and the folder's owner and DACL are read
//   MSIBOOT_RECORDER_FIRST a command line run (and waited for) before anything else: under wine
//                          it may name a Linux program, such as "/bin/sh script" that repoints a
//                          link in the package's path while the installer starts
//   MSIBOOT_RECORDER_INSTALL when set, the package (the /i argument) is then installed for real
//                          by the Windows Installer, without UI, and its result is the exit code
//
// Log lines, UTF-8:  program=<own path>  started=<system time, 100 ns units>
//   parent_started=<the starting program's creation time>  parent_peak=<its peak working set>
//   command=<line>
//   arg=<argument>  each argument after the program name, as the bootstrapper's own splitter
//                   splits a command line (blank, tab, line feed and carriage return separate,
//                   quotes group), characters below U+0020 shown as <XX>
//   probe=<file name> read=<allowed|refused> write=... rename=... delete=...
//   folder=<the package folder's owner and DACL, in SDDL>
//   first=<the first command's exit code>  installed=<the installation's result>
// With --tick N it instead prints the mean interval of N zero-delay window timer ticks, in ms.
#include <windows.h>
// windows.h first: the headers below depend on it.
#include <aclapi.h>
#include <msi.h>
#include <psapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "driver/command_line.h"
#include "platform/heap.h"

namespace {

std::string utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::wstring variable(const wchar_t* name, const wchar_t* fallback) {
  wchar_t value[1024];
  DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring(fallback);
}

uint64_t ticks_of(FILETIME time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

DWORD parent_id() {
  DWORD parent = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

// When the program that started this one began, and its peak memory so far.
std::string parent_lines() {
  HANDLE parent = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parent_id());
  if (parent == nullptr) return {};
  FILETIME created, exited, kernel, user;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  std::string lines;
  if (GetProcessTimes(parent, &created, &exited, &kernel, &user)) {
    lines += "parent_started=" + std::to_string(ticks_of(created)) + "\r\n";
  }
  if (GetProcessMemoryInfo(parent, &memory, sizeof memory)) {
    lines += "parent_peak=" + std::to_string(memory.PeakWorkingSetSize) + "\r\n";
  }
  CloseHandle(parent);
  return lines;
}

int measure_ticks(int count) {
  HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                              nullptr);
  SetTimer(window, 1, 0, nullptr);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  MSG message;
  int seen = -1;  // the first tick starts the clock
  while (seen < count && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message != WM_TIMER) continue;
    if (++seen == 0) QueryPerformanceCounter(&start);
  }
  QueryPerformanceCounter(&end);
  double ms = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
              static_cast<double>(frequency.QuadPart) / count;
  std::printf("%.3f\n", ms);
  return 0;
}

// The package path: the argument after " /i ", quoted when it holds a blank.
std::wstring package_path(const wchar_t* line) {
  const wchar_t* at = std::wcsstr(line, L" /i ");
  if (at == nullptr) return {};
  at += 4;
  wchar_t end = L' ';
  if (*at == L'"') end = *at++;
  const wchar_t* stop = at;
  while (*stop != L'\0' && *stop != end) ++stop;
  return std::wstring(at, stop);
}

// One arg= line for each argument the splitter finds after the program name.
std::string argument_lines(const wchar_t* line) {
  int count = 0;
  char16_t** argv = split_command_line(reinterpret_cast<const char16_t*>(line), &count);
  std::string lines;
  for (int i = 1; argv != nullptr && i < count; ++i) {
    std::wstring shown;
    for (char16_t* c = argv[i]; *c != 0; ++c) {
      wchar_t hex[8];
      std::swprintf(hex, 8, L"<%02X>", static_cast<unsigned>(*c));
      shown += *c < 0x20 ? std::wstring(hex) : std::wstring(1, static_cast<wchar_t>(*c));
    }
    lines += "arg=" + utf8(shown.c_str()) + "\r\n";
  }
  heap_free(argv);
  return lines;
}

// The folder's owner and DACL as the system reports them.
std::string folder_line(const std::wstring& folder) {
  HANDLE handle = CreateFileW(folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  char* text = nullptr;
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (handle != INVALID_HANDLE_VALUE &&
      GetSecurityInfo(handle, SE_FILE_OBJECT, wanted, nullptr, nullptr, nullptr, nullptr, &descriptor) == 0) {
    ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, wanted, &text, nullptr);
  }
  std::string line = "folder=" + std::string(text != nullptr ? text : "") + "\r\n";
  LocalFree(text);
  LocalFree(descriptor);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return line;
}

const char* outcome(bool allowed) { return allowed ? "allowed" : "refused"; }

bool can_open(const std::wstring& path, DWORD access, DWORD share) {
  HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// What another program can do to each file beside the package while this one runs.
std::string probe_lines(const std::wstring& package) {
  std::wstring folder = package.substr(0, package.rfind(L'\\') + 1);
  std::string lines;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring path = folder + found.cFileName;
    const std::wstring moved = path + L".moved";
    const DWORD any = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    lines += "probe=" + utf8(found.cFileName);
    lines += std::string(" read=") + outcome(can_open(path, GENERIC_READ, FILE_SHARE_READ));
    lines += std::string(" write=") + outcome(can_open(path, GENERIC_WRITE, any));
    bool renamed = MoveFileW(path.c_str(), moved.c_str());
    if (renamed) MoveFileW(moved.c_str(), path.c_str());
    lines += std::string(" rename=") + outcome(renamed);
    lines += std::string(" delete=") + outcome(DeleteFileW(path.c_str())) + "\r\n";
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return lines + folder_line(folder);
}

// Runs the command line and waits for it; its exit code, or -1 when it could not start.
long run_first(std::wstring command) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<long>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"--tick") == 0) return measure_ticks(_wtoi(argv[2]));
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  ULARGE_INTEGER started = {{now.dwLowDateTime, now.dwHighDateTime}};
  std::string log = "program=" + utf8(program) + "\r\nstarted=" +
                    std::to_string(started.QuadPart) + "\r\n" + parent_lines() + "command=" +
                    utf8(GetCommandLineW()) + "\r\n" + argument_lines(GetCommandLineW());
  const std::wstring first = variable(L"MSIBOOT_RECORDER_FIRST", L"");
  if (!first.empty()) log += "first=" + std::to_string(run_first(first)) + "\r\n";
  if (!variable(L"MSIBOOT_RECORDER_PROBE", L"").empty()) {
    log += probe_lines(package_path(GetCommandLineW()));
  }
  long installed = -1;
  if (!variable(L"MSIBOOT_RECORDER_INSTALL", L"").empty()) {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    installed = static_cast<long>(MsiInstallProductW(package_path(GetCommandLineW()).c_str(), L""));
    log += "installed=" + std::to_string(installed) + "\r\n";
  }

  std::wstring path = variable(L"MSIBOOT_RECORDER_LOG", L"C:\\msiboot-recorder.log");
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (file != INVALID_HANDLE_VALUE) {
    WriteFile(file, log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
    CloseHandle(file);
  }
  if (installed >= 0) return static_cast<int>(installed);
  return static_cast<int>(std::wcstoul(variable(L"MSIBOOT_RECORDER_EXIT", L"1602").c_str(),
                                       nullptr, 10));
}
