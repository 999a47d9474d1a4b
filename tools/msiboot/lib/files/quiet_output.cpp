#include "files/quiet_output.h"

namespace msiboot_tool {
namespace {

bool quiet = false;

}  // namespace

void set_quiet_output(bool value) { quiet = value; }

bool quiet_output() { return quiet; }

}  // namespace msiboot_tool
