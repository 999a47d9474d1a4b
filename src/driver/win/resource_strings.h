#pragma once
// The message texts of the string table, loaded once after the payload search.
#include "driver/message_strings.h"

struct ResourceStrings {
  char no_installer[kNoInstallerTextSize];  // 100: the installer engine is missing
  char corrupt[kMessageTextSize];           // 101: payload unusable or no package fits
  char browse_title[kMessageTextSize];      // 102: title of the folder browser
};

// A string that cannot be loaded becomes the empty string.
void load_resource_strings(void* instance, ResourceStrings* strings);
