#include "platform/system_library_win.h"

#include <windows.h>

namespace {

// In SystemFunction order.
constexpr SystemFunctionName kFunctions[kSystemFunctionCount] = {
    {L"crypt32.dll", "CertCreateCertificateContext"},
    {L"crypt32.dll", "CertFreeCertificateContext"},
    {L"crypt32.dll", "CryptMsgClose"},
    {L"crypt32.dll", "CryptMsgGetParam"},
    {L"crypt32.dll", "CryptMsgOpenToDecode"},
    {L"crypt32.dll", "CryptMsgUpdate"},
    {L"comctl32.dll", "InitCommonControls"},
    {L"ntdll.dll", "NtAreMappedFilesTheSame"},
};

constexpr uint32_t kNotResolved = 0xFFFFFFFF;

void* function_addresses[kSystemFunctionCount];
uint32_t resolved = kNotResolved;

// Systems without the search flags (no SetDefaultDllDirectories either): the full path, with the
// DLL's own dependencies searched from the system directory rather than beside the program.
HMODULE load_by_full_path(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  UINT name_length = static_cast<UINT>(lstrlenW(name));
  if (length == 0 || length >= MAX_PATH || name_length >= MAX_PATH - length - 1) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  path[length] = L'\\';
  for (UINT i = 0; i <= name_length; ++i) path[length + 1 + i] = name[i];
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void* load_system_library(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    module = load_by_full_path(name);
  }
  return module;
}

uint32_t resolve_system_functions(const SystemFunctionName* names, uint32_t count,
                                  void** addresses) {
  for (uint32_t i = 0; i < count; ++i) {
    auto module = static_cast<HMODULE>(load_system_library(names[i].library));
    if (module == nullptr) {
      DWORD error = GetLastError();
      return error != 0 ? error : ERROR_MOD_NOT_FOUND;
    }
    addresses[i] = reinterpret_cast<void*>(GetProcAddress(module, names[i].function));
    if (addresses[i] == nullptr) return ERROR_PROC_NOT_FOUND;
  }
  return 0;
}

uint32_t load_system_functions() {
  if (resolved == kNotResolved) {
    resolved = resolve_system_functions(kFunctions, kSystemFunctionCount, function_addresses);
  }
  if (resolved != 0) SetLastError(resolved);
  return resolved;
}

void* system_function(SystemFunction function) {
  return load_system_functions() == 0 ? function_addresses[function] : nullptr;
}
