#pragma once
// The rule for the names a manifest gives the files the stub writes (the package folder and the
// cabinets): each must name a file directly inside the folder it is joined to. It is applied to
// the name as written, in UTF-16, before it is converted.
#include "payload/manifest_entry.h"

// True when name names a file directly inside a folder: not empty, not a device name (CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, with any extension), not ending in a dot or a blank ("." and ".."
// among them), and free of control characters and of the characters Windows forbids in names
// (<>:"/\\|?*; ':' would also name a drive or a stream).
bool is_plain_file_name(const ManifestUnits& name);
