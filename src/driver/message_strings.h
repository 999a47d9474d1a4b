#pragma once
// The string table entries of the stub's messages. The tool adds them in more languages (one
// string-table block in each) and fits its texts to the buffers they are loaded into.

enum ResourceStringId : unsigned {
  kStringNoInstaller = 100,
  kStringCorrupt = 101,
  kStringBrowseTitle = 102,
};

// The buffers the strings are loaded into, in bytes of the ANSI code page with the final NUL.
constexpr unsigned kNoInstallerTextSize = 512;
constexpr unsigned kMessageTextSize = 256;
