// Planted beside a program under the names of system DLLs: once loaded, it appends its own path
// to the log file named by MSIBOOT_MARKER_LOG.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  wchar_t log[MAX_PATH], path[MAX_PATH];
  char line[4 * MAX_PATH + 1];
  DWORD n = GetEnvironmentVariableW(L"MSIBOOT_MARKER_LOG", log, MAX_PATH);
  int length = static_cast<int>(GetModuleFileNameW(self, path, MAX_PATH));
  if (reason != DLL_PROCESS_ATTACH || n == 0 || n >= MAX_PATH) return TRUE;
  int size = WideCharToMultiByte(CP_UTF8, 0, path, length, line, 4 * MAX_PATH, nullptr, nullptr);
  line[size++] = '\n';
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  WriteFile(file, line, static_cast<DWORD>(size), &n, nullptr);
  CloseHandle(file);
  return TRUE;
}
