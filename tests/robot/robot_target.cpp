// A scripted program for testing the robot: runs its arguments as commands, in order.
//   box STYLE CAPTION TEXT   shows a message box (STYLE: MB_* value in decimal); in CAPTION and
//                            TEXT, \n, \q and \e stand for a line feed, a double quote and
//                            U+00E9 (arguments cannot carry them)
//   report                   shows a box captioned "report" listing the earlier boxes' results
//   args                     shows a box captioned "args": every argument joined by '|'
//   window CAPTION           shows a window with a progress bar at 40 of 100 for half a second
//   sleep MS                 sleeps
//   exit CODE                ends with that exit code (decimal, may exceed 255)
#include <windows.h>
// windows.h first: the headers below depend on it.
#include <commctrl.h>

#include <cwchar>
#include <string>

namespace {

std::wstring unescape(const wchar_t* text) {
  std::wstring out;
  for (const wchar_t* p = text; *p != 0; ++p) {
    if (p[0] == L'\\' && (p[1] == L'n' || p[1] == L'q' || p[1] == L'e')) {
      ++p;
      out += *p == L'n' ? L'\n' : *p == L'q' ? L'"' : L'\u00e9';
    } else {
      out += *p;
    }
  }
  return out;
}

void show_window(const wchar_t* caption) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"MsibootRobotTarget";
  RegisterClassW(&window_class);
  HWND window = CreateWindowW(L"MsibootRobotTarget", caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                              10, 300, 100, nullptr, nullptr, window_class.hInstance, nullptr);
  HWND bar = CreateWindowW(PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 20, window,
                           nullptr, window_class.hInstance, nullptr);
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  SendMessageW(bar, PBM_SETPOS, 40, 0);
  for (DWORD start = GetTickCount(); GetTickCount() - start < 500;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
  DestroyWindow(window);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  InitCommonControls();
  std::wstring results;
  for (int i = 1; i < argc; ++i) {
    std::wstring command = argv[i];
    if (command == L"box" && i + 3 < argc) {
      std::wstring caption = unescape(argv[i + 2]);
      std::wstring text = unescape(argv[i + 3]);
      int result = MessageBoxW(nullptr, text.c_str(), caption.c_str(),
                               static_cast<UINT>(_wtoi(argv[i + 1])));
      results += (results.empty() ? L"" : L",") + std::to_wstring(result);
      i += 3;
    } else if (command == L"report") {
      MessageBoxW(nullptr, results.c_str(), L"report", MB_OK);
    } else if (command == L"args") {
      std::wstring all;
      for (int j = 1; j < argc; ++j) all += (j > 1 ? L"|" : L"") + std::wstring(argv[j]);
      MessageBoxW(nullptr, all.c_str(), L"args", MB_OK);
    } else if (command == L"window" && i + 1 < argc) {
      show_window(argv[++i]);
    } else if (command == L"sleep" && i + 1 < argc) {
      Sleep(static_cast<DWORD>(_wtoi(argv[++i])));
    } else if (command == L"exit" && i + 1 < argc) {
      ExitProcess(static_cast<UINT>(std::wcstoul(argv[++i], nullptr, 10)));
    }
  }
  return 0;
}
