#pragma once
// The manifest of a payload container: packed entries of an id, a byte length and a UTF-16LE text
// whose fields are separated by single backslashes. Package entries read
// architecture\languages\folder\title, cabinet entries cab\ids\file name.
#include <cstdint>

#include "payload/payload_blob.h"

// Called for each entry with the blob's index, the entry id and the entry text (narrow, owned by
// the walk). Returning 0 ends the whole walk.
using ManifestCallback = int (*)(uint32_t blob_index, uint32_t entry_id, const char* text,
                                 void* context);

// Walks the entries of every blob's manifest in the set, in blob order. A truncated entry, or a text that
// cannot be converted for lack of memory, ends the whole walk; later blobs are not seen.
void walk_manifest(const PayloadSet& set, ManifestCallback callback, void* context);

constexpr uint32_t kManifestFieldSize = 256;  // 255 characters and the terminating NUL

using ManifestField = char[kManifestFieldSize];

// Splits up to wanted leading fields of text into fields. Each field is one or more characters
// other than a backslash and ends at a backslash or at the end of the text; the scan stops at the
// first empty field, and text after the last wanted field is not looked at. Returns the number of
// fields read, or -1 when one of them is longer than 255 characters: such an entry is ignored
// rather than read with a field cut short.
int split_manifest_fields(const char* text, ManifestField* fields, int wanted);

// Reads the next ';'-separated item of a list that starts with a decimal number (after optional
// white space and sign, as "%u" reads it) and advances *cursor past it; items without a number
// are skipped. False once the list is used up. A number beyond 32 bits reads as 0xFFFFFFFF.
bool next_listed_number(const char** cursor, uint32_t* number);
