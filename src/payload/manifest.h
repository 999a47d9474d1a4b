#pragma once
// The manifest of a payload container: packed entries of an id, a byte length and a UTF-16LE text
// (read by manifest_entry.h).
#include <cstdint>

#include "payload/manifest_entry.h"
#include "payload/payload_blob.h"

// Called for each entry with the blob's index and the entry as read (owned by the walk).
// Returning 0 ends the whole walk.
using ManifestCallback = int (*)(uint32_t blob_index, const ManifestEntry& entry, void* context);

// Walks the entries of every blob's manifest in the set, in blob order. A truncated entry ends
// the whole walk; later blobs are not seen.
void walk_manifest(const PayloadSet& set, ManifestCallback callback, void* context);

// Reads the next ';'-separated item of a list that starts with a decimal number (after optional
// white space and sign, as "%u" reads it) and advances *cursor past it; items without a number
// are skipped. False once the list is used up. A number beyond 32 bits reads as 0xFFFFFFFF.
bool next_listed_number(const char** cursor, uint32_t* number);
