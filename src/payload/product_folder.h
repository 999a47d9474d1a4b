#pragma once
// The product folder's name meets two limits on the user's machine: it names the product's key
// under the Uninstall key, whose path holds at most 255 characters (a longer name is never found
// registered), and it is joined with each item's name under the Installer folder, a path of at
// most 260 characters (a longer one cannot be created there).
#include <cstddef>

#include "payload/extract_items.h"

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr size_t kKeyPathSize = 256;  // 255 characters and the NUL
// The Installer folder of a system installed as usual, for judging names before any run.
constexpr char kUsualInstallerFolder[] = "C:\\Windows\\Installer";

// The Uninstall key, a backslash and the folder fit a key path (sizeof counts the backslash).
constexpr bool uninstall_key_fits(size_t folder_bytes) {
  return sizeof kUninstallKey + folder_bytes < kKeyPathSize;
}

// The usual Installer folder, the folder and the item's name, joined by backslashes, fit a path.
constexpr bool item_path_fits(size_t folder_bytes, size_t name_bytes) {
  return sizeof kUsualInstallerFolder + folder_bytes + 1 + name_bytes < kItemTextSize;
}
