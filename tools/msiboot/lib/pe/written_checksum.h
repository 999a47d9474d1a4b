#pragma once
// The PE checksum of a written setup.exe, computed in a last pass over the whole file as written,
// whichever placement wrote it and however it was written. The CheckSum field lies outside the
// Authenticode digest, so a signature stays valid.
#include "files/output_file.h"

namespace msiboot_tool {

// Reads the written file back in pieces and writes its checksum into its CheckSum field.
void write_pe_checksum(OutputFile& out);

}  // namespace msiboot_tool
