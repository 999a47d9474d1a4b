#include "payload/manifest_entry.h"

#include <string.h>

#include "platform/text.h"
#include "shared/ascii_case.h"
#include "shared/byte_reader.h"

namespace {

// The own fields of either kind and the binding after them.
constexpr uint32_t kSplitFields = kManifestFields + 1;

uint16_t unit_at(const ManifestUnits& text, uint32_t i) { return read_u16le(text.units + 2 * i); }

// Splits text into at most wanted fields of one or more units other than a backslash; an empty
// field ends the fields. Returns the number read.
uint32_t split_fields(const ManifestUnits& text, ManifestUnits* fields, uint32_t wanted) {
  uint32_t read = 0;
  uint32_t position = 0;
  while (read < wanted) {
    uint32_t start = position;
    while (position < text.count && unit_at(text, position) != static_cast<uint16_t>(kManifestSeparator)) ++position;
    if (position == start) break;
    fields[read++] = {text.units + 2 * start, position - start};
    if (position == text.count) break;
    ++position;  // the separator
  }
  return read;
}

bool is_cabinet_marker(const ManifestUnits& field) {
  if (field.count != sizeof kCabinetMarker - 1) return false;
  for (uint32_t i = 0; i < field.count; ++i) {
    if (ascii_lower(unit_at(field, i)) != static_cast<uint16_t>(kCabinetMarker[i])) return false;
  }
  return true;
}

// The kind by the fields read and the number of its own fields; unread when one is too long.
uint32_t own_fields(const ManifestUnits* fields, uint32_t read, uint32_t* kind) {
  uint32_t own = 0;
  *kind = kEntryUnread;
  if (read >= kCabinetFields && is_cabinet_marker(fields[0])) {
    *kind = kEntryCabinet;
    own = kCabinetFields;
  } else if (read >= kPackageFields) {
    *kind = kEntryPackage;
    own = kPackageFields;
  }
  for (uint32_t i = 0; i < own; ++i) {
    if (!field_fits(fields[i])) own = 0;
  }
  if (own == 0) *kind = kEntryUnread;
  return own;
}

// Converts the own fields; false when the code page cannot convert one at all.
bool convert_fields(ManifestEntry& entry) {
  for (uint32_t i = 0; i < entry.field_count; ++i) {
    const ManifestUnits& field = entry.units[i];
    bool inexact = false;
    int bytes = utf16_to_narrow(field.units, static_cast<int>(field.count), entry.fields[i],
                                kManifestFieldSize - 1, &inexact);
    if (bytes <= 0) return false;
    entry.fields[i][bytes] = '\0';
    if (inexact) entry.inexact |= 1u << i;
  }
  return true;
}

}  // namespace

uint32_t field_utf8_length(const ManifestUnits& field, uint32_t limit) {
  uint32_t bytes = 0;
  for (uint32_t i = 0; i < field.count && bytes <= limit; ++i) {
    uint16_t unit = unit_at(field, i);
    bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < field.count &&
                unit_at(field, i + 1) >= 0xDC00 && unit_at(field, i + 1) <= 0xDFFF;
    bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : pair ? 4 : 3;
    if (pair) ++i;
  }
  return bytes;
}

void read_manifest_entry(uint32_t id, const uint8_t* text, uint32_t byte_length,
                         ManifestEntry& entry) {
  memset(&entry, 0, sizeof entry);
  entry.id = id;
  entry.text = {text, byte_length / 2};
  for (uint32_t i = 0; i < entry.text.count; ++i) {
    if (unit_at(entry.text, i) == 0) entry.text.count = i;
  }
  ManifestUnits fields[kSplitFields];
  uint32_t read = split_fields(entry.text, fields, kSplitFields);
  uint32_t kind = kEntryUnread;
  uint32_t own = own_fields(fields, read, &kind);
  memcpy(entry.units, fields, own * sizeof fields[0]);
  entry.field_count = own;
  entry.kind = kind;
  if (!convert_fields(entry)) {
    memset(&entry.units, 0, sizeof entry.units);
    entry.field_count = 0;
    entry.kind = kEntryUnread;
    return;
  }
  if (own != 0 && read > own) {
    entry.binding = read_record_binding(fields[own].units, fields[own].count);
  }
}
