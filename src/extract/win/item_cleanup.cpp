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

void clean_up_items(ItemWriter& writer, HeldFolder& folder, uint32_t exit_code, bool registered) {
  if (exit_code != 0 && !registered) delete_created_files(writer);
  close_item_files(writer);
  release_items(writer);
  // The folder of a registered product stays, empty or not.
  if (registered) folder.created = false;
  release_held_folder(folder);
}
