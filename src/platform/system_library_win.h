#pragma once
// The functions the stub takes from system DLLs that are not KnownDLLs (crypt32, comctl32), and
// the one it needs from ntdll, which no import library names. The loader would look for a DLL
// named in the import table beside the program before WinMain could lock the DLL search, so these
// are loaded from the system directory and resolved by name here, the only place that does so.
#include <cstdint>

enum SystemFunction : uint32_t {
  kCertCreateCertificateContext,
  kCertFreeCertificateContext,
  kCryptMsgClose,
  kCryptMsgGetParam,
  kCryptMsgOpenToDecode,
  kCryptMsgUpdate,
  kInitCommonControls,
  kNtAreMappedFilesTheSame,
  kSystemFunctionCount
};

struct SystemFunctionName {
  const wchar_t* library;
  const char* function;
};

// Loads the DLL of that file name from the system directory and nowhere else, also on systems
// without the search flags (by its full path there). Null with the last error set on failure.
void* load_system_library(const wchar_t* name);

// Resolves count functions into addresses, in order. Returns 0, or the first failure: the load's
// last error (126, ERROR_MOD_NOT_FOUND, for a missing DLL) or 127 (ERROR_PROC_NOT_FOUND).
uint32_t resolve_system_functions(const SystemFunctionName* names, uint32_t count,
                                  void** addresses);

// Resolves the whole SystemFunction table on the first call; every call returns that result and
// leaves it as the last error when it is a failure.
uint32_t load_system_functions();

// The address of a function of the table; null, with the last error set, when the table could not
// be resolved. The table is resolved whole or not at all.
void* system_function(SystemFunction function);
