#pragma once
// The choice of one package for the user's language and this build's architecture, in up to three
// passes over the manifests: exact language, primary language, then US English.
#include <cstdint>

#include "payload/manifest.h"
#include "payload/payload_blob.h"
#include "payload/record_binding.h"

constexpr uint32_t kSitePackageChoice = 2151;
constexpr uint32_t kFallbackLanguage = 1033;  // English (United States)
constexpr uint32_t kLanguageMask = 0xFFFF;       // a listed language is compared on 16 bits
constexpr uint32_t kPrimaryLanguageMask = 0xFF;  // its primary language: the low byte

// True when the listed language matches the user's language: on 16 bits, or in the second pass
// (match_primary 1) on the primary language alone.
inline bool language_matches(uint32_t listed, uint32_t language, uint32_t match_primary) {
  uint32_t mask = match_primary != 0 ? kPrimaryLanguageMask : kLanguageMask;
  return (listed & mask) == (language & mask);
}

struct PackageChoice {
  uint32_t match_primary;     // 0: compare language identifiers on 16 bits; 1: on the low 8
  uint32_t language;          // the user's locale identifier that the passes look for
  uint32_t blob_index;        // the blob whose manifest holds the chosen entry
  uint32_t entry_id;          // the chosen package entry; 0 while none is chosen
  ManifestField architecture; // the chosen entry's fields
  ManifestField languages;
  ManifestField folder;       // the package's folder and Uninstall key name
  ManifestField title;
  char16_t title_units[kManifestFieldUnits + 1];  // the title as written, NUL-terminated: the
                                                  // progress window's caption
  uint32_t folder_plain;      // the folder is a plain file name, converted exactly: only such a
                              // name may be joined to a folder
  RecordBinding binding;      // the chosen entry's record: its size and SHA-256
};

// ManifestCallback over a PackageChoice: 0 (end the walk) when the entry is a package for this
// architecture listing a language that matches; 1 otherwise.
int select_package_entry(uint32_t blob_index, const ManifestEntry& entry, void* context);

// Zeroes the choice and runs the passes for *language; true when an entry was chosen. When only
// the third pass chooses, *language is left at 1033.
bool choose_package_entry(const PayloadSet& payload, uint32_t* language, PackageChoice& choice);
