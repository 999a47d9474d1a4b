#pragma once
// The message texts of the string table, loaded once after the payload search.

struct ResourceStrings {
  char no_installer[512];  // 100: the installer engine is missing
  char corrupt[256];       // 101: payload unusable or no package fits
  char browse_title[256];  // 102: title of the folder browser
};

enum ResourceStringId : unsigned {
  kStringNoInstaller = 100,
  kStringCorrupt = 101,
  kStringBrowseTitle = 102,
};

// A string that cannot be loaded becomes the empty string.
void load_resource_strings(void* instance, ResourceStrings* strings);
