#pragma once
// A manifest entry as fields, read by the stub's own field reader: a package's architecture,
// languages, folder and title, a cabinet's packages and file name, and the binding to its record.
#include <cstdint>
#include <string>
#include <vector>

#include "payload/manifest_entry.h"

namespace msiboot_tool {

enum class EntryKind {
  Package,  // architecture\languages\folder\title
  Cabinet,  // cab\ids\file name
  Unread,   // neither: the stub passes it over
};

struct EntryFields {
  uint32_t id = 0;
  EntryKind kind = EntryKind::Unread;
  std::string architecture, folder, title;  // a package's
  std::vector<uint32_t> languages;          // a package's, each number as the stub reads the list
  std::vector<uint32_t> packages;           // a cabinet's: the package entries it belongs to
  std::string file;                         // a cabinet's file name
  RecordBinding binding = {};
  std::string text;                         // an unread entry's text as it is
};

// The entry as the stub reads it (payload/manifest_entry.h), its fields as UTF-8.
EntryFields read_entry_fields(const ManifestEntry& entry);

// The numbers of a ';'-separated list as the stub reads them ("1049;1033").
std::vector<uint32_t> listed_numbers(const char* list);

// "sha256=HEX:SIZE", "malformed", or empty when the entry has no binding.
std::string shown_binding(const RecordBinding& binding);

}  // namespace msiboot_tool
