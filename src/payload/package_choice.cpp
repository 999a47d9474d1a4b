#include "payload/package_choice.h"

#include <string.h>

#include "payload/plain_file_name.h"
#include "shared/ascii_case.h"
#include "shared/byte_reader.h"

namespace {

constexpr char kArchitecture[] = "x64";

void copy_field(ManifestField& to, const ManifestField& from) { memcpy(to, from, sizeof to); }

void copy_title(PackageChoice& choice, const ManifestUnits& title) {
  for (uint32_t i = 0; i < title.count; ++i) {
    choice.title_units[i] = static_cast<char16_t>(read_u16le(title.units + 2 * i));
  }
  choice.title_units[title.count] = 0;
}

bool lists_language(const PackageChoice& choice, const char* languages) {
  const char* cursor = languages;
  uint32_t listed = 0;
  while (next_listed_number(&cursor, &listed)) {
    if (language_matches(listed, choice.language, choice.match_primary)) return true;
  }
  return false;
}

void run_pass(const PayloadSet& payload, PackageChoice& choice, uint32_t match_primary) {
  choice.match_primary = match_primary;
  walk_manifest(payload, select_package_entry, &choice);
}

}  // namespace

int select_package_entry(uint32_t blob_index, const ManifestEntry& entry, void* context) {
  auto* choice = static_cast<PackageChoice*>(context);
  if (choice == nullptr || entry.kind != kEntryPackage ||
      !lists_language(*choice, entry.fields[kFieldLanguages]) ||
      !equals_ignoring_ascii_case(entry.fields[kFieldArchitecture], kArchitecture)) {
    return 1;
  }
  copy_field(choice->architecture, entry.fields[kFieldArchitecture]);
  copy_field(choice->languages, entry.fields[kFieldLanguages]);
  copy_field(choice->folder, entry.fields[kFieldFolder]);
  copy_field(choice->title, entry.fields[kFieldTitle]);
  copy_title(*choice, entry.units[kFieldTitle]);
  choice->folder_plain = is_plain_file_name(entry.units[kFieldFolder]) &&
                         field_is_exact(entry, kFieldFolder);
  choice->blob_index = blob_index;
  choice->entry_id = entry.id;
  choice->binding = entry.binding;
  return 0;
}

bool choose_package_entry(const PayloadSet& payload, uint32_t* language, PackageChoice& choice) {
  memset(&choice, 0, sizeof choice);
  choice.language = *language;
  run_pass(payload, choice, 0);
  if (choice.entry_id == 0) run_pass(payload, choice, 1);
  if (choice.entry_id == 0 && choice.language != kFallbackLanguage) {
    choice.language = kFallbackLanguage;
    *language = kFallbackLanguage;
    run_pass(payload, choice, 0);
  }
  return choice.entry_id != 0;
}
