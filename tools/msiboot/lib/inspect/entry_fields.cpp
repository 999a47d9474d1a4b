#include "inspect/entry_fields.h"

#include "container/manifest_writer.h"
#include "files/utf16_text.h"
#include "payload/manifest.h"

namespace msiboot_tool {

std::vector<uint32_t> listed_numbers(const char* list) {
  std::vector<uint32_t> numbers;
  uint32_t number = 0;
  while (next_listed_number(&list, &number)) numbers.push_back(number);
  return numbers;
}

EntryFields read_entry_fields(const ManifestEntry& entry) {
  EntryFields fields;
  fields.id = entry.id;
  fields.binding = entry.binding;
  if (entry.kind == kEntryCabinet) {
    fields.kind = EntryKind::Cabinet;
    fields.packages = listed_numbers(entry.fields[kFieldPackages]);
    fields.file = entry.fields[kFieldFile];
  } else if (entry.kind == kEntryPackage) {
    fields.kind = EntryKind::Package;
    fields.architecture = entry.fields[kFieldArchitecture];
    fields.languages = listed_numbers(entry.fields[kFieldLanguages]);
    fields.folder = entry.fields[kFieldFolder];
    fields.title = entry.fields[kFieldTitle];
  } else {
    fields.text = utf8_text(entry.text.units, entry.text.count);
  }
  return fields;
}

std::string shown_binding(const RecordBinding& binding) {
  if (binding.state == kBindingAbsent) return "";
  if (binding.state == kBindingMalformed) return "malformed";
  return binding_text(binding);
}

}  // namespace msiboot_tool
