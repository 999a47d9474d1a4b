#include "inspect/entry_fields.h"

#include "files/byte_buffer.h"
#include "payload/manifest.h"
#include "platform/text.h"

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
    int count = static_cast<int>(entry.text.count);
    std::string text(static_cast<size_t>(utf16_to_narrow(entry.text.units, count, nullptr, 0)), '\0');
    if (!text.empty()) utf16_to_narrow(entry.text.units, count, text.data(), static_cast<int>(text.size()));
    fields.text = text;
  }
  return fields;
}

std::string binding_text(const RecordBinding& binding) {
  if (binding.state == kBindingAbsent) return "";
  if (binding.state == kBindingMalformed) return "malformed";
  return "sha256=" + hex_text(binding.digest) + ":" + std::to_string(binding.size);
}

}  // namespace msiboot_tool
