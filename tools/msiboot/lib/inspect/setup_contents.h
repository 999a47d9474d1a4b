#pragma once
// What a setup.exe carries, read by the stub's own code: the record walk and lookups, payload
// discovery and the package choice, so that what the tool reports is what the stub would do.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/byte_buffer.h"
#include "inspect/container_placement.h"
#include "inspect/entry_fields.h"
#include "inspect/setup_image.h"
#include "packages/locale_outcomes.h"
#include "payload/extract_items.h"
#include "payload/package_choice.h"
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

struct ContainerReport {
  Placement placement = Placement::Append;
  uint32_t certificate = 0, extension = 0;  // where a carrier lies in the signature
  uint32_t offset = 0;                      // where the others start in the file
  uint32_t size = 0;
  bool reached = true;  // false for a container the stub never reads: signed after packing
  std::vector<RecordReport> records;  // from the end of the container, as the stub walks them
  std::vector<EntryFields> entries;   // of its manifest, whether or not it verifies
};

struct ItemReport {
  std::string name;
  uint32_t size = 0;
  bool delivered = false;  // its record was found, inflated and verified
};

// A package that some locale gets, with the items the stub writes for it.
struct PackageReport {
  uint32_t container = 0, entry_id = 0;
  std::string architecture, folder, title;
  std::vector<uint32_t> languages;
  Status status = 0;  // choose_package's: code 0 when every item is delivered
  std::vector<ItemReport> items;
};

struct LocaleReport {
  LocaleOutcome outcome;
  int package = -1;  // index in SetupReport::packages; -1 when no entry is chosen
  Status status = 0; // code 0 when the stub installs the package
};

struct SetupReport {
  Bytes key;  // the PUBLICKEYBLOB the records were checked against
  std::vector<ContainerReport> containers;
  Status discovery = 0;  // payload discovery as the stub runs it
  std::vector<PackageReport> packages;
  std::vector<LocaleReport> locales;  // every kind of locale, or the one asked for
};

// Reads the image with key; without lcid answers every kind of locale, with it that locale.
// Runs the image's payload discovery.
SetupReport read_payload(SetupImage& image, const Bytes& key, std::optional<uint32_t> lcid);

// The key to check records against: the blob file public_key, or the key stamped into the image
// when that is empty. Throws ToolError naming the file that is wrong.
Bytes inspection_key(const SetupImage& image, const std::string& setup, const std::string& public_key);

// Where the chosen items' contents go as their records are checked: by default nowhere.
class ItemSink {
 public:
  virtual ~ItemSink() = default;
  // An item's content starts (also an empty one's); false stops the choice.
  virtual bool begin(const ExtractItem&) { return true; }
  // The next piece of it, before the record is verified whole; false stops the choice.
  virtual bool write(const uint8_t*, uint32_t) { return true; }
};

// A file record's verdict from the stub's lookup with a binding, by the end of its container.
struct CheckedRecord {
  const uint8_t* end;
  uint32_t id;
  RecordBinding binding;
  Status status;
  uint32_t length;
};
using CheckedRecords = std::vector<CheckedRecord>;

struct ItemDeliveryContext {
  ItemSink* sink;
  const CheckedRecords* checked;
};

// The stub's package choice for lcid and the items it collects, held until this is gone. Each
// item's record is checked as it inflates and its content passed to sink (null: nowhere), never
// held: items keep names, sizes and digests, their data stays null. Without a sink, records in
// checked keep their verdict and are not inflated again.
class ChosenItems {
 public:
  ChosenItems(const PayloadSet& payload, uint32_t lcid, ItemSink* sink = nullptr,
              const CheckedRecords* checked = nullptr);
  ~ChosenItems() { release_items(writer_); }
  ChosenItems(const ChosenItems&) = delete;
  ChosenItems& operator=(const ChosenItems&) = delete;

  Status status() const { return status_; }
  const PackageChoice& choice() const { return choice_; }
  const ItemWriter& writer() const { return writer_; }

 private:
  PackageChoice choice_ = {};
  ItemDeliveryContext delivery_;
  ItemWriter writer_ = empty_item_writer();
  Status status_ = 0;
};

}  // namespace msiboot_tool
