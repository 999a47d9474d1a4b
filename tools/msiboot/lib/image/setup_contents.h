#pragma once
// What a setup.exe carries, read by the stub's own code: payload discovery, find_record and
// choose_package, so that what the tool reports is what the stub would do.
#include <cstdint>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "shared/status.h"

namespace msiboot_tool {

struct RecordReport {
  bool manifest = false;
  uint32_t id = 0;
  uint32_t stored_size = 0;
  uint32_t signature_size = 0;
  bool inflates = false;
  uint32_t inflated_size = 0;  // when it inflates
  Status lookup = 0;           // find_record's result with the key: code 0 when it verifies
};

struct ManifestEntry {
  uint32_t id = 0;
  std::string text;     // as the stub's fields read it: without the binding field
  std::string binding;  // the binding field (sha256=HEX:SIZE), empty when the entry has none
};

struct ContainerReport {
  bool appended = false;        // the whole file, read from its end; else a carrier extension
  uint32_t certificate = 0, extension = 0;
  uint32_t size = 0;
  std::vector<RecordReport> records;  // from the end of the container, as the stub walks them
  std::vector<ManifestEntry> entries; // of its manifest, whether or not it verifies
};

struct ItemReport {
  std::string name;
  Bytes content;
};

struct ChoiceReport {
  uint32_t lcid = 0;           // asked for
  uint32_t language = 0;       // that the choice ended with: 1033 when only the third pass chose
  Status status = 0;           // discovery, then choose_package: code 0 when the stub would install
  uint32_t container = 0, entry_id = 0;
  std::string architecture, languages, folder, title;
  std::vector<ItemReport> items;  // main.msi and its cabinets, as the stub would write them
};

struct SetupReport {
  Bytes key;  // the PUBLICKEYBLOB the records were checked against
  std::vector<ContainerReport> containers;
  ChoiceReport choice;
};

// Reads setup (a whole setup.exe) with key; lcid is the user locale to choose for.
SetupReport inspect_setup(const Bytes& setup, const Bytes& key, uint32_t lcid);

// Reads the setup.exe at path with the key blob file public_key, or with the key stamped into it
// when that is empty. Throws std::runtime_error naming the file when either cannot be read.
SetupReport read_setup(const std::string& path, const std::string& public_key, uint32_t lcid);

// "code 13 at site 2151"
std::string status_text(Status status);

}  // namespace msiboot_tool
