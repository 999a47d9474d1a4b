#pragma once
// The chosen package collected as item "main.msi" and its cabinets as further items, each filled
// with its file record's verified content: the selection step of the bootstrapper.
#include <cstddef>
#include <cstdint>

#include "payload/extract_items.h"
#include "payload/package_choice.h"
#include "payload/payload_blob.h"
#include "shared/status.h"

// Chooses the package for *language and collects it and its cabinets into the writer's items.
// A folder or cabinet name that is not a plain file name, or that the narrow code page cannot
// spell, is corrupt data; so is an entry without its binding, a record that is not the one its
// entry was packed with, and a name listed twice (in any ASCII letter case) with different
// contents. A name listed twice with the same content stays: the writer writes it once. On
// failure (code 13,
// site 2151) failure_text is copied into the message buffer; items already added stay in the
// writer for the clean-up. When only the third pass finds a package, *language is left at 1033.
Status choose_package(const PayloadSet& payload, uint32_t* language, PackageChoice& choice,
                      ItemWriter& writer, const char* failure_text, char* message,
                      size_t message_size);
