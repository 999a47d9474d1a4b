#pragma once
// Response files: an argument @FILE stands for the lines of FILE, one argument per line, as
// compilers take them, so that long command lines (ten packages with their overrides) can live in
// a file. A path that itself begins with '@' is given as ./@name.
#include <string>
#include <vector>

namespace msiboot_tool {

// The arguments with every @FILE replaced by its lines (without their line ends; empty lines are
// skipped), also inside response files, to a depth of 8. Throws ToolError naming the file when it
// cannot be read or the files name each other without end.
std::vector<std::string> expand_response_files(const std::vector<std::string>& arguments);

}  // namespace msiboot_tool
