#include "payload/package_choice.h"

#include <string.h>

#include "shared/ascii_case.h"

namespace {

constexpr int kPackageFields = 4;
constexpr char kArchitecture[] = "x64";

// Fields hold at most 255 characters, so they always fit with their terminator.
void copy_field(ManifestField& to, const ManifestField& from) { memcpy(to, from, strlen(from) + 1); }

bool lists_language(const PackageChoice& choice, const char* languages) {
  uint32_t mask = choice.match_primary != 0 ? 0xFF : 0xFFFF;
  uint32_t wanted = choice.language & mask;
  const char* cursor = languages;
  uint32_t listed = 0;
  while (next_listed_number(&cursor, &listed)) {
    if ((listed & mask) == wanted) return true;
  }
  return false;
}

void run_pass(const PayloadSet& payload, PackageChoice& choice, uint32_t match_primary) {
  choice.match_primary = match_primary;
  walk_manifest(payload, select_package_entry, &choice);
}

}  // namespace

int select_package_entry(uint32_t blob_index, uint32_t entry_id, const char* text, void* context) {
  auto* choice = static_cast<PackageChoice*>(context);
  ManifestField fields[kPackageFields];
  if (choice == nullptr || text == nullptr ||
      split_manifest_fields(text, fields, kPackageFields) != kPackageFields) {
    return 1;
  }
  copy_field(choice->architecture, fields[0]);
  copy_field(choice->languages, fields[1]);
  copy_field(choice->folder, fields[2]);
  copy_field(choice->title, fields[3]);
  if (!lists_language(*choice, choice->languages) ||
      !equals_ignoring_ascii_case(choice->architecture, kArchitecture)) {
    return 1;
  }
  choice->blob_index = blob_index;
  choice->entry_id = entry_id;
  choice->binding = read_record_binding(text, kPackageFields);
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
