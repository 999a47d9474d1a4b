#pragma once
// What stays after the installer: the written package and cabinets stay when the installation
// succeeded or the product is registered on the machine, and are deleted otherwise.
#include <cstdint>

#include "payload/extract_items.h"

// True when the product's Uninstall key (64-bit view) carries a non-empty "UninstallString". A
// folder name that makes the key path too long counts as not registered.
bool product_registered(const char* folder_name);

// Closes every item's file, deletes the written files unless exit_code is 0 or the product is
// registered, frees the items, and removes the target folder (when empty) unless the product is
// registered. target may be empty when no folder was reached.
void clean_up_items(ItemWriter& writer, const char* target, uint32_t exit_code, bool registered);
