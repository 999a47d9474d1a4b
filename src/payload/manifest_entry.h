#pragma once
// One manifest entry as the stub reads it: its UTF-16LE text split into fields at single
// backslashes, its kind told by its fields, the binding read from the field after its own, and
// the fields checked on the UTF-16 text before any is converted to the narrow code page. In code
// pages 932, 936 and 950 the second byte of a character may be 0x5C, the backslash: a text split
// after conversion would be cut inside a character.
#include <cstdint>

#include "payload/record_binding.h"

// A field fits when it fits 255 bytes in every ANSI code page Windows uses. UTF-8, which Windows
// may use as its ANSI code page, spells every character in at least as many bytes as any other
// (a character another code page cannot spell becomes one '?'), so the field's UTF-8 length
// decides, the same for every user. An entry with a longer field of its own is passed over.
constexpr uint32_t kManifestFieldBytes = 255;
// A field that fits holds at most this many UTF-16 units.
constexpr uint32_t kManifestFieldUnits = kManifestFieldBytes;
// A converted field and the NUL.
constexpr uint32_t kManifestFieldSize = kManifestFieldBytes + 1;
constexpr uint32_t kManifestFields = 4;
constexpr uint32_t kPackageFields = 4;
constexpr uint32_t kCabinetFields = 3;
constexpr char kManifestSeparator = '\\';  // between fields, the binding after the last
constexpr char kCabinetMarker[] = "cab";    // a cabinet entry's first field, in any ASCII letter case

using ManifestField = char[kManifestFieldSize];

enum ManifestEntryKind : uint32_t {
  kEntryUnread = 0,   // fewer fields than either kind (an empty field ends them), or a field of
                      // its own that does not fit: no reader uses it
  kEntryPackage = 1,  // architecture\languages\folder\title
  kEntryCabinet = 2,  // cab\packages\file name, "cab" in any ASCII letter case
};

enum ManifestFieldIndex : uint32_t {
  kFieldArchitecture = 0,  // a package's
  kFieldLanguages = 1,
  kFieldFolder = 2,
  kFieldTitle = 3,
  kFieldPackages = 1,      // a cabinet's: the ids of the package entries it belongs to
  kFieldFile = 2,
};

// UTF-16LE units inside the manifest, at any alignment.
struct ManifestUnits {
  const uint8_t* units;
  uint32_t count;
};

struct ManifestEntry {
  uint32_t id;
  uint32_t kind;                          // ManifestEntryKind
  uint32_t field_count;                   // the kind's own fields: 4, 3, or 0 when unread
  uint32_t inexact;                       // bit i: field i holds a character the narrow code
                                          // page cannot spell (converted as '?')
  ManifestUnits text;                     // the whole text, up to its first NUL
  ManifestUnits units[kManifestFields];   // the own fields as written
  ManifestField fields[kManifestFields];  // the own fields in the narrow code page
  RecordBinding binding;                  // read from the field after the own fields
};

// The bytes the field's text takes in UTF-8 (a lone surrogate, which converts to one replacement
// character, counts 3), at most limit + 1: counting stops once the field cannot fit.
uint32_t field_utf8_length(const ManifestUnits& field, uint32_t limit = kManifestFieldBytes);

inline bool field_fits(const ManifestUnits& field) {
  return field_utf8_length(field) <= kManifestFieldBytes;
}

// Reads the entry id whose text is byte_length bytes at text (an odd last byte is no unit; the
// text ends at its first NUL) into entry. Reads nothing outside those bytes.
void read_manifest_entry(uint32_t id, const uint8_t* text, uint32_t byte_length,
                         ManifestEntry& entry);

// True when field i of the entry was converted exactly.
inline bool field_is_exact(const ManifestEntry& entry, uint32_t i) {
  return (entry.inexact >> i & 1) == 0;
}
