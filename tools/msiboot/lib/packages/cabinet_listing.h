#pragma once
// The files a cabinet holds, by name with their sizes, read with libgcab from its headers (the
// data is not inflated).
#include <gio/gio.h>

#include <cstdint>
#include <map>
#include <string>

namespace msiboot_tool {

struct CabinetListing {
  std::string problem;                   // why it cannot be read as a cabinet; empty when it can
  std::map<std::string, uint32_t> files;  // name -> size
};

CabinetListing list_cabinet(GInputStream* stream);

// The cabinet in the file at path.
CabinetListing list_cabinet_file(const std::string& path);

}  // namespace msiboot_tool
