#include "extract/win/target_folder.h"

#include <string.h>

#include "extract/win/item_files.h"
#include "platform/bounded_format.h"
#include "platform/error_codes.h"

namespace {

constexpr char kInstallerFolder[] = "Installer";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr int kPersonalFolderCreate = 0x8005;  // CSIDL_PERSONAL | CSIDL_FLAG_CREATE

using SpecialFolderPathFn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);

// Appends "\name" to the folder in buffer; false (the buffer emptied) when it does not fit.
bool append_folder(char* buffer, const char* name) {
  size_t length = strlen(buffer);
  return bounded_format(buffer + length, kTargetFolderSize - length, "\\%s", name) >= 0;
}

void create_if_missing(const char* folder) {
  if (!path_exists(folder)) CreateDirectoryA(folder, nullptr);
}

// The documents folder as the shell knows it; false when the shell cannot say.
bool shell_documents_folder(char* buffer) {
  HMODULE shell = GetModuleHandleA("Shell32.dll");
  if (shell == nullptr) shell = LoadLibraryA("Shell32.dll");
  if (shell == nullptr) return false;
  SetErrorMode(SEM_NOOPENFILEERRORBOX);
  auto folder_path = reinterpret_cast<SpecialFolderPathFn>(
      reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSpecialFolderPathA")));
  return folder_path != nullptr && folder_path(nullptr, buffer, kPersonalFolderCreate, TRUE);
}

// The "Personal" shell folder of the user's registry, usually an environment reference.
void registry_documents_folder(char* buffer) {
  buffer[0] = '\0';
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD size = kTargetFolderSize - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, "Personal", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    buffer[0] = '\0';
  }
  buffer[kTargetFolderSize - 1] = '\0';
  RegCloseKey(key);
}

// Creates the folder and every folder above it that is missing; failures are left for the file
// creation to find. CharNextA steps over whole characters, so the trail byte of a double-byte
// character is never taken for a backslash.
void create_folder_chain(const char* folder) {
  char prefix[kTargetFolderSize];
  for (const char* p = folder;; p = CharNextA(p)) {
    if (*p != '\\' && *p != '\0') continue;
    size_t length = static_cast<size_t>(p - folder);
    if (length >= sizeof prefix) return;
    memcpy(prefix, folder, length);
    prefix[length] = '\0';
    CreateDirectoryA(prefix, nullptr);
    if (*p == '\0') return;
  }
}

// Holds the product folder in base and creates the item files in it; a failure lets go of both
// (see create_item_files). base is used as given, link or not; see hold_product_folder.
bool try_base_folder(ItemWriter& writer, const char* base, const char* folder_name,
                     HeldFolder& folder) {
  return hold_product_folder(base, folder_name, folder) && create_item_files(writer, folder);
}

// Cuts the backslashes that end the folder (a drive root's among them), by whole characters.
void trim_trailing_backslashes(char* folder) {
  char* end = folder;  // just past the last character that is not a backslash
  for (char* p = folder; *p != '\0'; p = CharNextA(p)) {
    if (*p != '\\') end = CharNextA(p);
  }
  *end = '\0';
}

// One browser round: true with the chosen folder in target, false when the user cancelled. A
// choice without a file-system path (a virtual folder) leaves target empty.
bool ask_for_folder(const char* browse_title, char* target) {
  char default_folder[kTargetFolderSize];
  char title[kTargetFolderSize];
  default_browse_folder(default_folder, sizeof default_folder);
  bounded_format(title, sizeof title, "%s", browse_title);
  BROWSEINFOA info = {};
  info.lpszTitle = title;
  info.lpfn = browse_callback;
  info.lParam = reinterpret_cast<LPARAM>(default_folder);
  IMalloc* shell_allocator = nullptr;
  SHGetMalloc(&shell_allocator);
  PIDLIST_ABSOLUTE chosen = browse_for_folder_call(&info);
  if (chosen == nullptr) {
    if (shell_allocator != nullptr) shell_allocator->Release();
    return false;
  }
  target[0] = '\0';
  if (!SHGetPathFromIDListA(chosen, target)) target[0] = '\0';
  if (shell_allocator != nullptr) {
    shell_allocator->Free(chosen);
    shell_allocator->Release();
  }
  trim_trailing_backslashes(target);
  return true;
}

}  // namespace

BrowseForFolderCall browse_for_folder_call = SHBrowseForFolderA;

void default_browse_folder(char* buffer, size_t size) {
  char folder[kTargetFolderSize] = {};
  if (!shell_documents_folder(folder)) registry_documents_folder(folder);
  if (folder[0] == '\0') GetCurrentDirectoryA(sizeof folder, folder);
  memset(buffer, 0, size);
  DWORD expanded = ExpandEnvironmentStringsA(folder, buffer, static_cast<DWORD>(size));
  // A folder whose expansion does not fit is not used cut off.
  if (expanded == 0 || expanded > size) buffer[0] = '\0';
  if (buffer[0] != '\0' && !path_exists(buffer)) create_folder_chain(buffer);
}

int CALLBACK browse_callback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

Status browse_for_target_folder(ItemWriter& writer, const char* folder_name,
                                const char* browse_title, HeldFolder& folder) {
  char base[kTargetFolderSize];
  for (;;) {
    if (!ask_for_folder(browse_title, base)) {
      return status_of(kErrorCancelled, kSiteBrowserCancelled);
    }
    // A virtual folder has no path to write into: the browser is shown again.
    if (base[0] != '\0' && try_base_folder(writer, base, folder_name, folder)) {
      return status_of(0, kSiteBrowserCancelled);
    }
  }
}

Status choose_target_folder(ItemWriter& writer, const char* folder_name, const char* browse_title,
                            bool quiet, HeldFolder& folder) {
  char base[kTargetFolderSize] = {};
  UINT length = GetWindowsDirectoryA(base, kTargetFolderSize);
  if (length == 0 || length >= kTargetFolderSize || !append_folder(base, kInstallerFolder)) {
    base[0] = '\0';
  }
  // A failed lookup leaves base empty: the product folder is then tried at the drive's root.
  if (base[0] != '\0') create_if_missing(base);
  if (try_base_folder(writer, base, folder_name, folder)) return status_of(0, kSiteBrowserCancelled);
  if (quiet) return last_error_status(ERROR_ACCESS_DENIED, kSiteQuietTargetFolder);
  return browse_for_target_folder(writer, folder_name, browse_title, folder);
}
