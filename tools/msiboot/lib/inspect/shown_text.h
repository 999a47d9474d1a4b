#pragma once
// Text from a setup.exe as inspect prints it: a control character (ESC, BEL, CR, a line feed
// inside a field) could hide or forge lines of the report on a terminal or in a log, so each is
// shown as \xNN.
#include <string>

namespace msiboot_tool {

// Every control character (C0 and DEL) escaped.
std::string shown(const std::string& text);

// The same for a report of several lines: its line feeds stay.
std::string shown_lines(const std::string& text);

}  // namespace msiboot_tool
