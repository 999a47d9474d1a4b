#pragma once
// Full path of the running executable as a narrow local-heap string, or null.
char* get_module_path();
