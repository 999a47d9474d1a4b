#pragma once
// The binding of a file record to its manifest entry: the tool ends every entry text with a field
// sha256=HEX:SIZE, the SHA-256 and length of the record's content. Readers that stop after their
// own fields never see it; the stub refuses a record that is not the one its entry was packed
// with, and inflates it no further than SIZE.
#include <cstdint>

constexpr uint32_t kContentDigestSize = 32;

enum BindingState : uint32_t {
  kBindingAbsent = 0,     // an entry written before records were bound: the record is not checked
  kBindingPresent = 1,
  kBindingMalformed = 2,  // a field that starts "sha256=" but is not 64 hex digits, ':' and a size
};

struct RecordBinding {
  uint32_t state;  // BindingState
  uint32_t size;
  uint8_t digest[kContentDigestSize];
};

// Reads the field that follows the first leading_fields fields of an entry text (fields separated
// by single backslashes, as split_manifest_fields reads them). No such field, or one that does not
// start with "sha256=", leaves the binding absent.
RecordBinding read_record_binding(const char* text, int leading_fields);
