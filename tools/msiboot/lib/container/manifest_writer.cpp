#include "container/manifest_writer.h"

#include <openssl/sha.h>

#include "files/byte_buffer.h"
#include "files/utf16_text.h"
#include "payload/manifest_entry.h"

namespace msiboot_tool {
namespace {

// The fields in the order of their indexes, each followed by the separator, then the binding.
template <size_t Count>
std::string entry_text(const std::string (&fields)[Count], const std::string& binding) {
  std::string text;
  for (size_t i = 0; i < Count; ++i) text += (i == 0 ? "" : std::string(1, kManifestSeparator)) + fields[i];
  return binding.empty() ? text : text + kManifestSeparator + binding;
}

}  // namespace

std::string binding_text(const RecordBinding& binding) {
  char field[kBindingFieldSize];
  write_record_binding(binding, field);
  return field;
}

std::string binding_field(const std::vector<uint8_t>& content) {
  RecordBinding binding = {kBindingPresent, checked_u32(content.size(), "a record"), {}};
  SHA256(content.data(), content.size(), binding.digest);
  return binding_text(binding);
}

std::string package_text(const std::string& architecture, const std::string& languages,
                         const std::string& folder, const std::string& title, const std::string& binding) {
  std::string fields[kPackageFields];
  fields[kFieldArchitecture] = architecture;
  fields[kFieldLanguages] = languages;
  fields[kFieldFolder] = folder;
  fields[kFieldTitle] = title;
  return entry_text(fields, binding);
}

ManifestWriter& ManifestWriter::entry(uint32_t id, const std::string& text, bool terminate) {
  std::vector<uint8_t> units = utf16le(text, terminate);
  append_u32le(bytes_, id);
  append_u32le(bytes_, checked_u32(units.size(), "manifest entry"));
  bytes_.insert(bytes_.end(), units.begin(), units.end());
  return *this;
}

ManifestWriter& ManifestWriter::package(uint32_t id, const std::string& architecture,
                                        const std::string& languages, const std::string& folder,
                                        const std::string& title, const std::string& binding) {
  return entry(id, package_text(architecture, languages, folder, title, binding));
}

ManifestWriter& ManifestWriter::cabinet(uint32_t id, const std::vector<uint32_t>& package_ids,
                                        const std::string& file_name, const std::string& binding) {
  std::string fields[kCabinetFields];
  fields[0] = kCabinetMarker;
  for (uint32_t package_id : package_ids) {
    fields[kFieldPackages] += (fields[kFieldPackages].empty() ? "" : ";") + std::to_string(package_id);
  }
  fields[kFieldFile] = file_name;
  return entry(id, entry_text(fields, binding));
}

}  // namespace msiboot_tool
