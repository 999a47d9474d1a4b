#pragma once
// Restricts where the process loads DLLs from to the system directory, so that a DLL planted next
// to the executable (typically the Downloads folder) is never loaded into an elevated process.
// Returns false on systems without the facility.
bool lock_dll_search_to_system_directory();

// Loads, from the system directory, the DLLs that system components load later by name and that
// are known planting targets. Names a system does not have are skipped.
void preload_system_dlls();
