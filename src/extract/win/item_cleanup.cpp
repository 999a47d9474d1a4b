#include "extract/win/item_cleanup.h"

#include <windows.h>

#include "extract/win/item_files.h"
#include "payload/product_folder.h"
#include "platform/bounded_format.h"

namespace {

// The key opened in one registry view holds an UninstallString that is not empty.
bool has_uninstall_string(const char* path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return false;
  }
  char first[2] = {};
  DWORD size = sizeof first;
  LSTATUS result = RegQueryValueExA(key, "UninstallString", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(first), &size);
  RegCloseKey(key);
  return result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && size != 0 && first[0] != '\0');
}

}  // namespace

bool product_registered(const char* folder_name) {
  char path[kKeyPathSize];
  if (bounded_format(path, sizeof path, "%s\\%s", kUninstallKey, folder_name) < 0) return false;
  // A 32-bit package registers in the 32-bit view, whatever its entry's architecture says.
  return has_uninstall_string(path, KEY_WOW64_64KEY) || has_uninstall_string(path, KEY_WOW64_32KEY);
}

void clean_up_items(ItemWriter& writer, HeldFolder& folder, uint32_t exit_code, bool registered) {
  if (exit_code != 0 && !registered) delete_created_files(writer);
  close_item_files(writer);
  release_items(writer);
  // The folder of a registered product stays, empty or not.
  if (registered) folder.created = false;
  release_held_folder(folder);
}
