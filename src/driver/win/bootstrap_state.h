#pragma once
// The driver's one global record, zeroed at start and owned by the main sequence.
#include <cstdint>

#include "payload/payload_blob.h"

struct TaskbarProgress;

struct BootstrapState {
  uint32_t language;      // the user's default locale; package choice may replace it by 1033
  uint32_t is_64bit;      // 1 in this build: "x64" packages and the 64-bit registry view
  PayloadSet payload;     // the blobs, grown one record at a time while the payload is discovered
  void* instance;         // module instance handed to the entry point
  int show_command;       // handed on to the installer process
  int argc;
  char16_t** argv;        // the split command line
  char* module_path;      // full path of the running executable
  TaskbarProgress* taskbar;
};

extern BootstrapState bootstrap_state;
