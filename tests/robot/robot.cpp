// The robot: starts a program, watches its top-level windows, records every message box and
// window it shows, presses the buttons a scenario names, and prints a transcript ending with the
// program's exit code.
//
//   msiboot-robot.exe [--timeout MS] [--press OK|Cancel|Retry|Yes|No|Abort|Ignore]...
//                     [--swap FILE] -- target.exe [args...]
//   msiboot-robot.exe [--timeout MS] [--press ...]... --batch LIST [--collect PATH]...
//
// --swap starts the target suspended, renames target.exe to target.exe.started, copies FILE to
// target.exe and only then lets it run, as someone who replaces a program while it starts.
//
// --batch runs every command line of LIST (UTF-8, one a line) in turn, each with the same presses
// and time-out, its transcript opened by "run N" (N from 0); after run N every --collect PATH
// that exists is renamed to PATH.N, so that what one run left behind never meets the next. One
// wine start then serves hundreds of short runs.
//
// Transcript lines (texts are UTF-8 with \\, \" , \n, \r and \t escaped, so one event is one line):
//   box caption="..." text="..."        a message box (class #32770) appeared
//   browser caption="..." title="..."   a folder browser (a dialog with a tree view) appeared
//   press OK                            the box's or browser's button was pressed
//   missing Retry                       the box has no such button; it was closed instead
//   window class="..." caption="..."    another visible top-level window appeared
//   icon RRGGBB                         the colour at the centre of that window's caption icon
//                                       changed (read from the screen: under wine another
//                                       process's icon handle reads as none)
//   progress pos=N max=M                a progress bar in one of those windows moved (watched
//                                       every millisecond while one is up)
//   timeout                             the program ran out of time and was ended
//   exit N                              the program's exit code, whole
//   error start|collect|swap N          starting the program, renaming a collected path or
//                                       swapping the program failed with that system error code
// Exit status: 0 when the program ended by itself, 1 on its time-out (in a batch: on any run's),
// 2 on a usage error, 3 when the program cannot be started.
#include <windows.h>
// windows.h first: the headers below depend on it.
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMilliseconds = 50;
// A progress bar may stand at 100 for a single timer tick before its window ends.
constexpr DWORD kProgressPollMilliseconds = 1;
constexpr UINT kMessageBoxTextId = 0xFFFF;

struct Button {
  const wchar_t* name;
  int id;
};

constexpr Button kButtons[] = {
    {L"OK", IDOK},         {L"Cancel", IDCANCEL}, {L"Abort", IDABORT}, {L"Retry", IDRETRY},
    {L"Ignore", IDIGNORE}, {L"Yes", IDYES},       {L"No", IDNO},
};

struct Options {
  DWORD timeout_ms = 60000;
  std::vector<const Button*> presses;
  std::wstring command_line;
  const wchar_t* batch = nullptr;
  std::vector<std::wstring> collect;
  const wchar_t* swap = nullptr;  // the file put in the target's place while it is suspended
  std::wstring target;            // the target program's path
};

struct Watched {
  HWND window;
  HWND progress;  // the window's progress bar, if any
  int last_pos;
  int last_max;
  bool icon_watched;  // not for message boxes and browsers
  COLORREF icon_centre;
};

struct Robot {
  DWORD process_id = 0;
  std::vector<Watched> seen;
  size_t next_press = 0;
  std::vector<const Button*> presses;
};

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string quoted(const std::wstring& text) {
  std::string out = "\"";
  for (char c : utf8(text)) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

void emit(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::wstring window_text(HWND window) {
  if (window == nullptr) return {};
  // WM_GETTEXT with a time-out: a hung target must not hang the robot.
  wchar_t buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0],
                           reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, &copied)) {
    return {};
  }
  return std::wstring(buffer, copied);
}

std::wstring class_of(HWND window) {
  wchar_t buffer[256] = {};
  int n = GetClassNameW(window, buffer, sizeof buffer / sizeof buffer[0]);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// Adds a quote around an argument holding white space, or an empty one.
void append_argument(std::wstring& line, const wchar_t* argument) {
  if (!line.empty()) line += L' ';
  std::wstring text(argument);
  bool quote = text.empty() || text.find_first_of(L" \t\n\v\f\r") != std::wstring::npos;
  line += quote ? L"\"" + text + L"\"" : text;
}

const Button* button_named(const wchar_t* name) {
  for (const Button& button : kButtons) {
    if (lstrcmpiW(button.name, name) == 0) return &button;
  }
  return nullptr;
}

bool parse_options(int argc, wchar_t** argv, Options* options) {
  int i = 1;
  for (; i < argc && lstrcmpW(argv[i], L"--") != 0; ++i) {
    if (lstrcmpW(argv[i], L"--timeout") == 0 && i + 1 < argc) {
      options->timeout_ms = static_cast<DWORD>(_wtoi(argv[++i]));
    } else if (lstrcmpW(argv[i], L"--press") == 0 && i + 1 < argc) {
      const Button* button = button_named(argv[++i]);
      if (button == nullptr) return false;
      options->presses.push_back(button);
    } else if (lstrcmpW(argv[i], L"--batch") == 0 && i + 1 < argc) {
      options->batch = argv[++i];
    } else if (lstrcmpW(argv[i], L"--collect") == 0 && i + 1 < argc) {
      options->collect.push_back(argv[++i]);
    } else if (lstrcmpW(argv[i], L"--swap") == 0 && i + 1 < argc) {
      options->swap = argv[++i];
    } else {
      return false;
    }
  }
  if (options->batch != nullptr) return i == argc;
  if (i + 1 >= argc) return false;
  if (i + 1 < argc) options->target = argv[i + 1];
  for (++i; i < argc; ++i) append_argument(options->command_line, argv[i]);
  return true;
}

// The first child window of the class named in the search, and the first with text of a second.
struct ChildSearch {
  const wchar_t* class_name;
  HWND found;
  const wchar_t* text_class;  // optional
  std::wstring text;
};

BOOL CALLBACK find_child(HWND child, LPARAM context) {
  auto* search = reinterpret_cast<ChildSearch*>(context);
  std::wstring cls = class_of(child);
  if (search->found == nullptr && cls == search->class_name) search->found = child;
  if (search->text_class != nullptr && search->text.empty() && cls == search->text_class) {
    search->text = window_text(child);
  }
  return TRUE;
}

ChildSearch search_children(HWND window, const wchar_t* class_name,
                            const wchar_t* text_class = nullptr) {
  ChildSearch search = {class_name, nullptr, text_class, {}};
  EnumChildWindows(window, find_child, reinterpret_cast<LPARAM>(&search));
  return search;
}

void report_progress(Watched& watched) {
  if (watched.progress == nullptr || !IsWindow(watched.progress)) return;
  DWORD_PTR pos = 0;
  DWORD_PTR max = 0;
  if (!SendMessageTimeoutW(watched.progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &pos) ||
      !SendMessageTimeoutW(watched.progress, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 1000, &max)) {
    return;
  }
  if (static_cast<int>(pos) == watched.last_pos && static_cast<int>(max) == watched.last_max) return;
  watched.last_pos = static_cast<int>(pos);
  watched.last_max = static_cast<int>(max);
  emit("progress pos=" + std::to_string(watched.last_pos) + " max=" +
       std::to_string(watched.last_max));
}

// Sampled while the window is up: it may show before its icon is set.
void report_icon(Watched& watched) {
  RECT rect;
  if (!watched.icon_watched || !IsWindowVisible(watched.window) || !GetWindowRect(watched.window, &rect)) return;
  int caption = GetSystemMetrics(SM_CYCAPTION);
  HDC screen = GetDC(nullptr);
  COLORREF centre = GetPixel(screen, rect.left + GetSystemMetrics(SM_CXDLGFRAME) + caption / 2,
                             rect.top + GetSystemMetrics(SM_CYDLGFRAME) + caption / 2);
  ReleaseDC(nullptr, screen);
  if (centre == CLR_INVALID || centre == watched.icon_centre) return;
  watched.icon_centre = centre;
  char text[16];
  std::snprintf(text, sizeof text, "icon %02x%02x%02x", GetRValue(centre), GetGValue(centre), GetBValue(centre));
  emit(text);
}

void press_next(Robot& robot, HWND box) {
  const Button* button = robot.next_press < robot.presses.size() ? robot.presses[robot.next_press]
                                                                 : &kButtons[0];
  ++robot.next_press;
  HWND control = GetDlgItem(box, button->id);
  if (control == nullptr) {
    emit("missing " + utf8(button->name));
    PostMessageW(box, WM_CLOSE, 0, 0);
    return;
  }
  emit("press " + utf8(button->name));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
}

void record_window(Robot& robot, HWND window) {
  Watched watched = {window, nullptr, -1, -1, false, CLR_INVALID};
  std::wstring cls = class_of(window);
  if (cls == L"#32770") {
    // The folder browser is a dialog whose tree view shows the folders; its title is a label.
    ChildSearch tree = search_children(window, WC_TREEVIEWW, L"Static");
    if (tree.found != nullptr) {
      emit("browser caption=" + quoted(window_text(window)) + " title=" + quoted(tree.text));
    } else {
      emit("box caption=" + quoted(window_text(window)) +
           " text=" + quoted(window_text(GetDlgItem(window, kMessageBoxTextId))));
    }
    robot.seen.push_back(watched);
    press_next(robot, window);
    return;
  }
  emit("window class=" + quoted(cls) + " caption=" + quoted(window_text(window)));
  watched.progress = search_children(window, PROGRESS_CLASSW).found;
  watched.icon_watched = true;
  report_icon(watched);
  robot.seen.push_back(watched);
}

BOOL CALLBACK visit_window(HWND window, LPARAM context) {
  Robot& robot = *reinterpret_cast<Robot*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != robot.process_id || !IsWindowVisible(window)) return TRUE;
  for (const Watched& watched : robot.seen) {
    if (watched.window == window) return TRUE;
  }
  record_window(robot, window);
  return TRUE;
}

// Returns true while a progress bar is up.
bool poll_windows(Robot& robot) {
  EnumWindows(visit_window, reinterpret_cast<LPARAM>(&robot));
  bool progress_up = false;
  for (Watched& watched : robot.seen) {
    report_icon(watched);
    report_progress(watched);
    progress_up = progress_up || (watched.progress != nullptr && IsWindow(watched.progress));
  }
  return progress_up;
}

// Watches the program until it ends or the time is up; returns false on the time-out.
bool watch(Robot& robot, HANDLE process, DWORD timeout_ms) {
  ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    DWORD wait = poll_windows(robot) ? kProgressPollMilliseconds : kPollMilliseconds;
    if (WaitForSingleObject(process, wait) == WAIT_OBJECT_0) return true;
    if (GetTickCount64() >= deadline) return false;
  }
}

// Puts the swap file in the place of the suspended target, which Windows lets anyone do who may
// write its folder: a running program may be renamed.
void swap_target(const Options& options) {
  const std::wstring started = options.target + L".started";
  if (!MoveFileExW(options.target.c_str(), started.c_str(), MOVEFILE_REPLACE_EXISTING) ||
      !CopyFileW(options.swap, options.target.c_str(), FALSE)) {
    emit("error swap " + std::to_string(GetLastError()));
  }
}

// Runs one command line under watch and prints its transcript: 0 when it ended by itself, 1 on
// its time-out, 3 when it cannot be started.
int run_target(const Options& options, std::wstring line) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // wine now and then fails a start on a busy machine (1359); a program that cannot start at all
  // fails all three tries.
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(500);
    started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                             options.swap != nullptr ? CREATE_SUSPENDED : 0, nullptr, nullptr,
                             &startup, &process) != 0;
  }
  if (!started) {
    emit("error start " + std::to_string(GetLastError()));
    return 3;
  }
  if (options.swap != nullptr) swap_target(options);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);

  Robot robot;
  robot.process_id = process.dwProcessId;
  robot.presses = options.presses;
  bool ended = watch(robot, process.hProcess, options.timeout_ms);
  if (!ended) {
    emit("timeout");
    TerminateProcess(process.hProcess, ERROR_TIMEOUT);
    WaitForSingleObject(process.hProcess, 10000);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  emit("exit " + std::to_string(code));
  CloseHandle(process.hProcess);
  return ended ? 0 : 1;
}

std::wstring wide(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()));
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

// The non-empty lines of a UTF-8 file.
std::vector<std::wstring> read_lines(const wchar_t* path) {
  std::vector<std::wstring> lines;
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return lines;
  std::string line;
  for (int c = std::fgetc(file);; c = std::fgetc(file)) {
    if (c != EOF && c != '\n' && c != '\r') {
      line += static_cast<char>(c);
      continue;
    }
    if (!line.empty()) lines.push_back(wide(line));
    line.clear();
    if (c == EOF) break;
  }
  std::fclose(file);
  return lines;
}

// Every batch run with the same options; exit status 1 if any run timed out.
int run_batch(const Options& options) {
  std::vector<std::wstring> lines = read_lines(options.batch);
  int status = 0;
  for (size_t n = 0; n < lines.size(); ++n) {
    emit("run " + std::to_string(n));
    if (run_target(options, lines[n]) == 1) status = 1;
    for (const std::wstring& path : options.collect) {
      if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
      if (!MoveFileW(path.c_str(), (path + L"." + std::to_wstring(n)).c_str())) {
        emit("error collect " + std::to_string(GetLastError()));
      }
    }
  }
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  Options options;
  if (!parse_options(argc, argv, &options)) {
    std::fputs("usage: msiboot-robot [--timeout MS] [--press OK|Cancel|Retry|Yes|No|Abort|Ignore]..."
               " [--swap FILE] -- target.exe [args...]\n"
               "       msiboot-robot [--timeout MS] [--press ...]... --batch LIST"
               " [--collect PATH]...\n",
               stderr);
    return 2;
  }
  if (options.batch != nullptr) return run_batch(options);
  return run_target(options, options.command_line);
}
