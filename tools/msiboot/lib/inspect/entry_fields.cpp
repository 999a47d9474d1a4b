#include "inspect/entry_fields.h"

#include "files/byte_buffer.h"
#include "payload/manifest.h"
#include "shared/ascii_case.h"

namespace msiboot_tool {
namespace {

constexpr int kPackageFields = 4;
constexpr int kCabinetFields = 3;

}  // namespace

std::vector<uint32_t> listed_numbers(const char* list) {
  std::vector<uint32_t> numbers;
  uint32_t number = 0;
  while (next_listed_number(&list, &number)) numbers.push_back(number);
  return numbers;
}

EntryFields read_entry_fields(uint32_t id, const char* text) {
  EntryFields entry;
  entry.id = id;
  ManifestField fields[kPackageFields];
  // The stub's cabinet collector reads a "cab" entry first; its package choice never picks one.
  if (split_manifest_fields(text, fields, kCabinetFields) == kCabinetFields &&
      equals_ignoring_ascii_case(fields[0], "cab")) {
    entry.kind = EntryKind::Cabinet;
    entry.packages = listed_numbers(fields[1]);
    entry.file = fields[2];
    entry.binding = read_record_binding(text, kCabinetFields);
  } else if (split_manifest_fields(text, fields, kPackageFields) == kPackageFields) {
    entry.kind = EntryKind::Package;
    entry.architecture = fields[0];
    entry.languages = listed_numbers(fields[1]);
    entry.folder = fields[2];
    entry.title = fields[3];
    entry.binding = read_record_binding(text, kPackageFields);
  } else {
    entry.text = text;
  }
  return entry;
}

std::string binding_text(const RecordBinding& binding) {
  if (binding.state == kBindingAbsent) return "";
  if (binding.state == kBindingMalformed) return "malformed";
  return "sha256=" + hex_text(binding.digest) + ":" + std::to_string(binding.size);
}

}  // namespace msiboot_tool
