#include "files/quiet_output.h"

#include <cstdio>

namespace msiboot_tool {
namespace {

bool quiet = false;

}  // namespace

void set_quiet_output(bool value) { quiet = value; }

bool quiet_output() { return quiet; }

void note(const std::string& command, const std::string& text) {
  if (!quiet) std::fprintf(stderr, "msiboot %s: note: %s\n", command.c_str(), text.c_str());
}

}  // namespace msiboot_tool
