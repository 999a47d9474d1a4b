#pragma once
// The choice of one package for the user's language and this build's architecture, in up to three
// passes over the manifests (exact language, primary language, then US English), and the
// collection of that package as "main.msi" and of its cabinets as items to extract.
#include <cstddef>
#include <cstdint>

#include "driver/status.h"
#include "extract/item_writer.h"
#include "payload/manifest.h"

constexpr uint32_t kSitePackageChoice = 2151;
constexpr uint32_t kFallbackLanguage = 1033;  // English (United States)

struct PackageChoice {
  uint32_t match_primary;     // 0: compare language identifiers on 16 bits; 1: on the low 8
  uint32_t blob_index;        // the blob whose manifest holds the chosen entry
  uint32_t entry_id;          // the chosen package entry; 0 while none is chosen
  ManifestField architecture; // the fields of the last package entry read
  ManifestField languages;
  ManifestField folder;       // the package's folder and Uninstall key name
  ManifestField title;        // the progress window's caption
};

struct CabinetCollector {
  ExtractItem** items;  // the writer's item array, grown as cabinets are added
  int32_t* count;
  uint32_t blob_index;  // the chosen package
  uint32_t entry_id;
  uint32_t failed;      // 1 once a cabinet could not be added or filled
};

// ManifestCallback over a PackageChoice: 0 (end the walk) when the entry is a package for this
// architecture listing a language that matches; 1 otherwise.
int select_package_entry(uint32_t blob_index, uint32_t entry_id, const char* text, void* context);

// ManifestCallback over a CabinetCollector: adds an item for each time a cabinet entry of the
// chosen package's blob lists the package's id. Always 1, so every entry is seen.
int collect_cabinet_entry(uint32_t blob_index, uint32_t entry_id, const char* text, void* context);

// Zeroes item, names it and fills it with the content of file record record_id of the blob.
bool extract_item(uint32_t blob_index, uint32_t record_id, ExtractItem& item, const char* name);

// Chooses the package and collects it and its cabinets into the writer's items. On failure
// (code 13, site 2151) failure_text is copied into the message buffer; items already added stay
// in the writer for the clean-up. Pass 3 leaves bootstrap_state.language at 1033.
Status choose_package(PackageChoice& choice, ItemWriter& writer, const char* failure_text,
                      char* message, size_t message_size);
