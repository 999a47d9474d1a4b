#pragma once
// Where the package and its cabinets are written: a per-product folder in the Windows Installer
// cache folder, or, when the item files cannot be created there, in a folder the user picks in
// the shell's folder browser, asked again until the files can be created or the user cancels.
#include <windows.h>
// windows.h first: shlobj.h depends on it.
#include <shlobj.h>

#include <cstddef>
#include <cstdint>

#include "extract/win/held_folder.h"
#include "payload/extract_items.h"
#include "shared/status.h"

constexpr uint32_t kTargetFolderSize = 1024;
constexpr uint32_t kSiteBrowserCancelled = 2219;
constexpr uint32_t kSiteQuietTargetFolder = 2212;

// The folder the browser opens on: the user's documents folder (from the shell, else the
// registry's shell folders, else the current directory), environment references expanded and
// created if missing.
void default_browse_folder(char* buffer, size_t size);

// The browser's callback: selects the folder passed as data once the browser is initialised.
int CALLBACK browse_callback(HWND window, UINT message, LPARAM lparam, LPARAM data);

// Holds the product folder (folder_name) and creates the item files in it: first in the
// Installer folder, then in folders from the browser, each used as picked, link or not. Success
// leaves folder held (see held_folder.h); a cancelled browser ends with code 1223 at site 2219.
// When quiet, nobody is there to answer: the browser is not shown and the failure in the
// Installer folder (its last error, else 5) ends the run at site 2212.
Status choose_target_folder(ItemWriter& writer, const char* folder_name, const char* browse_title,
                            bool quiet, HeldFolder& folder);

// The browser part alone: shows the browser until the item files can be created in the product
// folder of the chosen folder, or the user cancels.
Status browse_for_target_folder(ItemWriter& writer, const char* folder_name,
                                const char* browse_title, HeldFolder& folder);

// The folder browser call, SHBrowseForFolderA by default; tests replace it to script choices.
using BrowseForFolderCall = PIDLIST_ABSOLUTE(WINAPI*)(LPBROWSEINFOA info);
extern BrowseForFolderCall browse_for_folder_call;
