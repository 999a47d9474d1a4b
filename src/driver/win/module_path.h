#pragma once
// Full path of the running executable as a local-heap string, or null: narrow (the ANSI code page's
// spelling, for the message box's caption) or wide (exact, for opening the file).
char* get_module_path();
wchar_t* get_wide_module_path();
