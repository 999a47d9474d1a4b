#pragma once
// --quiet: a command then prints only its warnings and errors, for CI logs; its notes, summaries
// and progress bars stay silent.
namespace msiboot_tool {

void set_quiet_output(bool quiet);
bool quiet_output();

}  // namespace msiboot_tool
