#pragma once
// The binding of a file record to its manifest entry: the tool ends every entry text with a field
// sha256=HEX:SIZE, the SHA-256 and length of the record's content. Readers that stop after their
// own fields never see it. Every entry must carry it: the stub refuses a record whose entry has
// none or whose content is not the one its entry was packed with, and inflates it no further
// than SIZE.
#include <cstdint>

constexpr uint32_t kContentDigestSize = 32;

enum BindingState : uint32_t {
  kBindingAbsent = 0,     // no field after the entry's own, or one that does not start "sha256="
  kBindingPresent = 1,
  kBindingMalformed = 2,  // a field that starts "sha256=" but is not 64 hex digits, ':' and a size
};

struct RecordBinding {
  uint32_t state;  // BindingState
  uint32_t size;
  uint8_t digest[kContentDigestSize];
};

// "sha256=", 64 hex digits, ':', a decimal size below 2^32, and the NUL.
constexpr uint32_t kBindingFieldSize = 7 + 2 * kContentDigestSize + 1 + 10 + 1;

// Reads the binding from a field of count UTF-16LE units at units (any alignment).
RecordBinding read_record_binding(const uint8_t* units, uint32_t count);

// Writes the field that read_record_binding reads back as binding (its digest in lower-case hex)
// into field, kBindingFieldSize bytes.
void write_record_binding(const RecordBinding& binding, char* field);
