#include "inspect/container_placement.h"

#include "payload/container.h"
#include "payload/pe_layout.h"
#include "payload/signature_table.h"

namespace msiboot_tool {
namespace {

// The walk's earliest record so far.
struct RecordsStart {
  bool found, manifest;
  uint32_t offset;
};

bool note_start(const RecordLocation& record, void* context) {
  *static_cast<RecordsStart*>(context) = {true, record.manifest, record.data_offset};
  return true;
}

// The certificate table's offset and its first entry's content, by the stub's own PE walk.
bool signature_entry(const uint8_t* image, uint32_t size, uint32_t* table, uint32_t* content) {
  const uint8_t* entry = nullptr;
  uint32_t length = 0;
  if (!find_signature_entry(image, size, &entry, &length)) return false;
  *content = static_cast<uint32_t>(entry - image);
  *table = *content - pe_layout::kWinCertificateHeader;
  return true;
}

}  // namespace

bool container_start(const uint8_t* image, uint32_t end, uint32_t* start, bool* manifest) {
  RecordsStart records = {false, false, 0};
  walk_records(image, end, note_start, &records);
  *start = records.offset;
  *manifest = records.manifest;
  return records.found;
}

Placement end_placement(const uint8_t* image, uint32_t size, uint32_t start) {
  uint32_t table = 0, content = 0;
  if (signature_entry(image, size, &table, &content) && start >= content) return Placement::SignatureTail;
  return Placement::Append;
}

bool container_before_signature(const uint8_t* image, uint32_t size, uint32_t* start, uint32_t* end) {
  uint32_t table = 0, content = 0;
  if (!signature_entry(image, size, &table, &content)) return false;
  // Signing pads the file with up to 7 zero bytes so that the table starts on 8 bytes.
  for (uint32_t padding = 0; padding < 8 && padding <= table; ++padding) {
    if (padding > 0 && image[table - padding] != 0) return false;
    bool manifest = false;
    if (container_start(image, table - padding, start, &manifest) && manifest) {
      *end = table - padding;
      return true;
    }
  }
  return false;
}

}  // namespace msiboot_tool
