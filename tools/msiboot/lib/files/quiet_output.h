#pragma once
// --quiet: a command then prints only its warnings and errors, for CI logs; its notes, summaries
// and progress bars stay silent.
#include <string>

namespace msiboot_tool {

void set_quiet_output(bool quiet);
bool quiet_output();

// "msiboot COMMAND: note: TEXT" on stderr, unless the command is quiet.
void note(const std::string& command, const std::string& text);

}  // namespace msiboot_tool
