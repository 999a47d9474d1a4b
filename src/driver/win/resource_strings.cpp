#include "driver/win/resource_strings.h"

#include <windows.h>

namespace {

void load_one(void* instance, unsigned id, char* buffer, int size) {
  buffer[0] = '\0';
  if (LoadStringA(static_cast<HINSTANCE>(instance), id, buffer, size) <= 0) buffer[0] = '\0';
}

}  // namespace

void load_resource_strings(void* instance, ResourceStrings* strings) {
  load_one(instance, kStringNoInstaller, strings->no_installer, sizeof strings->no_installer);
  load_one(instance, kStringCorrupt, strings->corrupt, sizeof strings->corrupt);
  load_one(instance, kStringBrowseTitle, strings->browse_title, sizeof strings->browse_title);
}
