#include "extract/win/item_cleanup.h"

#include <windows.h>

#include "extract/win/item_files.h"
#include "platform/bounded_format.h"

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr size_t kKeyPathSize = 256;

}  // namespace

bool product_registered(const char* folder_name) {
  char path[kKeyPathSize];
  if (bounded_format(path, sizeof path, "%s\\%s", kUninstallKey, folder_name) < 0) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD size = 0;
  bool registered = RegQueryValueExA(key, "UninstallString", nullptr, nullptr, nullptr, &size) ==
                        ERROR_SUCCESS &&
                    size != 0;
  RegCloseKey(key);
  return registered;
}

void clean_up_items(ItemWriter& writer, const char* target, uint32_t exit_code, bool registered) {
  close_item_files(writer);
  bool keep_files = exit_code == 0 || registered;
  for (int32_t i = 0; i < writer.count && !keep_files; ++i) {
    const char* path = writer.items[i].path;
    if (path[0] != '\0' && path_exists(path)) DeleteFileA(path);
  }
  release_items(writer);
  // Removes only an empty folder: files that were there before keep theirs.
  if (!registered && target[0] != '\0' && path_exists(target)) RemoveDirectoryA(target);
}
