#pragma once
// What stays after the installer: the written package and cabinets stay when the installation
// succeeded or the product is registered on the machine, and are deleted otherwise.
#include <cstdint>

#include "extract/win/held_folder.h"
#include "payload/extract_items.h"

// True when the product's Uninstall key carries a non-empty "UninstallString" in the 64-bit or
// the 32-bit registry view. A folder name that makes the key path too long counts as not
// registered.
bool product_registered(const char* folder_name);

// Deletes the files this run created unless exit_code is 0 or the product is registered (through
// their handles, see delete_created_files), closes every item's file, frees the items, and lets
// go of the held folder: removed, through its handle, when this run created it and it is left
// empty, unless the product is registered. The folder may hold nothing when none was reached.
void clean_up_items(ItemWriter& writer, HeldFolder& folder, uint32_t exit_code, bool registered);
