#pragma once
// Temporary outputs never outlive an interrupted command: paths registered here are removed when
// SIGINT, SIGTERM or SIGHUP ends the process before they are committed or released.
#include <string>

namespace msiboot_tool {

// Registers a file or an empty folder (files inside a folder are registered after it, so they go
// first) and returns its slot. Throws ToolError when the table is full.
int remove_on_interrupt(const std::string& path);

// Forgets the slot: its path was committed or removed.
void forget_on_interrupt(int slot);

}  // namespace msiboot_tool
