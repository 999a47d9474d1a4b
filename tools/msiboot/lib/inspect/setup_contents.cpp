#include "inspect/setup_contents.h"

#include <cstring>
#include <stdexcept>

#include "files/file_bytes.h"
#include "files/tool_error.h"
#include "payload/container.h"
#include "payload/item_collection.h"
#include "payload/manifest.h"
#include "payload/package_choice.h"
#include "payload/payload_public_key.h"
#include "payload/record_stream.h"
#include "payload/signature_table.h"
#include "pe/key_slot.h"
#include "platform/heap.h"
#include "platform/error_codes.h"

namespace msiboot_tool {
namespace {

// A record's content as one local-heap block, freed once it has been looked at.
struct Content {
  uint8_t* data = nullptr;
  uint32_t length = 0;
  ~Content() { heap_free(data); }
};

bool collect_record(const RecordLocation& location, void* context) {
  RecordReport record;
  record.manifest = location.manifest;
  record.id = location.id;
  record.signature_size = location.signature_length;
  record.stored_size = location.data_length;
  static_cast<std::vector<RecordReport>*>(context)->push_back(record);
  return true;
}

int collect_entry(uint32_t, const ManifestEntry& entry, void* context) {
  static_cast<std::vector<EntryFields>*>(context)->push_back(read_entry_fields(entry));
  return 1;
}

void read_entries(const PayloadBlob& blob, const Content& manifest, std::vector<EntryFields>& entries) {
  PayloadBlob shown = blob;
  shown.manifest = manifest.data;
  shown.manifest_size = manifest.length;
  walk_manifest(PayloadSet{&shown, 1, nullptr}, collect_entry, &entries);
}

// Every so much content checked, the file's pages read so far are given back.
void count_checked(uint32_t length) {
  constexpr uint64_t kReleaseEvery = 64u << 20;
  static uint64_t since = 0;
  since += length;
  if (since < kReleaseEvery) return;
  since = 0;
  release_read_pages();
}

bool count_piece(const uint8_t*, uint32_t length, void*) {
  count_checked(length);
  return true;
}

// A file record that no entry of a verified manifest binds is never delivered by the stub; it is
// followed this far for its report and no further, so that a crafted stream costs little.
constexpr uint32_t kUnboundRecordCap = 64u << 20;

// The binding that the container's verified manifest gives file record id; null when none does.
const RecordBinding* verified_binding(const ContainerReport& report, bool manifest_verified, uint32_t id) {
  if (!manifest_verified) return nullptr;
  for (const EntryFields& entry : report.entries) {
    if (entry.id == id && entry.binding.state == kBindingPresent) return &entry.binding;
  }
  return nullptr;
}

bool same_binding(const RecordBinding& a, const RecordBinding& b) {
  return a.size == b.size && memcmp(a.digest, b.digest, sizeof a.digest) == 0;
}

// A file record looked up as the stub looks it up (with the binding its verified entry gives it),
// checked as it inflates and never held; when that fails, inflated without its signature so that
// its size still shows. A bound record's verdict is kept for the package choice.
void report_file_record(const PayloadBlob& blob, const Bytes& key, const RecordBinding* binding, RecordReport& record,
                        CheckedRecords& checked) {
  StreamedRecord streamed = {count_piece, nullptr, kUnboundRecordCap, 0};
  record.lookup = stream_record(blob, FileRecordType, record.id, binding, key.data(),
                                static_cast<uint32_t>(key.size()), streamed);
  if (binding != nullptr) checked.push_back({blob.data + blob.size, record.id, *binding, record.lookup, streamed.length});
  if (status_failed(record.lookup)) {
    PayloadBlob unsigned_blob = blob;
    unsigned_blob.flags = kPayloadCompressed;
    record.inflates = !status_failed(stream_record(unsigned_blob, FileRecordType, record.id, nullptr, nullptr, 0, streamed));
  } else {
    record.inflates = true;
  }
  record.inflated_size = streamed.length;
}

// The manifest record, as the stub looks it up (it inflates no further than its cap), or without
// its signature when that fails, so that its entries still show.
bool report_manifest_record(const PayloadBlob& blob, const Bytes& key, RecordReport& record, ContainerReport& report) {
  Content content;
  record.lookup = find_record_with_key(blob, ManifestRecordType, 0, key.data(), static_cast<uint32_t>(key.size()),
                                       &content.data, &content.length);
  if (status_failed(record.lookup)) {
    PayloadBlob unsigned_blob = blob;
    unsigned_blob.flags = kPayloadCompressed;
    record.inflates = !status_failed(find_record(unsigned_blob, ManifestRecordType, 0, &content.data, &content.length));
  } else {
    record.inflates = true;
  }
  record.inflated_size = content.length;
  if (record.inflates) read_entries(blob, content, report.entries);
  return !status_failed(record.lookup);
}

ContainerReport report_container(const uint8_t* data, uint32_t size, const Bytes& key, CheckedRecords& checked) {
  ContainerReport report;
  report.size = size;
  walk_records(data, size, collect_record, &report.records);
  PayloadBlob blob = {};
  blob.data = const_cast<uint8_t*>(data);  // lookups never change the blob
  blob.size = size;
  blob.flags = kPayloadCompressed | kPayloadSigned;
  // The manifest comes last in the walk but decides how far the file records are followed.
  bool verified = false;
  for (RecordReport& record : report.records) {
    if (record.manifest) verified = report_manifest_record(blob, key, record, report);
  }
  for (RecordReport& record : report.records) {
    if (!record.manifest) report_file_record(blob, key, verified_binding(report, verified, record.id), record, checked);
  }
  return report;
}

// The context of the carrier walk: the key to check records against, and the reports so far.
struct CarrierReports {
  const Bytes* key;
  std::vector<ContainerReport>* out;
  CheckedRecords* checked;
};

// Every carrier is reported, also after one whose container the stub would refuse.
Status report_carrier(const Carrier& carrier, void* context) {
  auto* reports = static_cast<CarrierReports*>(context);
  ContainerReport report = report_container(carrier.value, carrier.length, *reports->key, *reports->checked);
  report.placement = Placement::Certificate;
  report.certificate = carrier.certificate;
  report.extension = carrier.extension;
  reports->out->push_back(std::move(report));
  return 0;
}

// The container that ends at end, when records are found there.
void report_end_container(const SetupImage& image, uint32_t end, bool reached, const Bytes& key, CheckedRecords& checked,
                          std::vector<ContainerReport>& out) {
  uint32_t start = 0;
  bool manifest = false;
  if (!container_start(image.data(), end, &start, &manifest)) return;
  ContainerReport report = report_container(image.data() + start, end - start, key, checked);
  report.placement = end_placement(image.data(), image.size(), start);
  report.offset = start;
  report.reached = reached;
  out.push_back(std::move(report));
}

// The containers as the stub finds them: the carriers of the signature's certificates; without
// any (and with a signature that can be walked), the one at the end of the file; and a container
// that a signature made after packing has cut off from that end.
std::vector<ContainerReport> report_containers(const SetupImage& image, const Bytes& key, CheckedRecords& checked) {
  std::vector<ContainerReport> out;
  CarrierReports reports = {&key, &out, &checked};
  Status walk = walk_carriers(image.data(), image.size(), report_carrier, &reports);
  if (!status_failed(walk) && out.empty()) report_end_container(image, image.size(), true, key, checked, out);
  uint32_t start = 0, end = 0;
  if (out.empty() && container_before_signature(image.data(), image.size(), &start, &end)) {
    report_end_container(image, end, false, key, checked, out);
  }
  return out;
}

PackageReport report_package(const PayloadSet& payload, const LocaleOutcome& outcome, const CheckedRecords& checked) {
  ChosenItems chosen(payload, outcome.lcid, nullptr, &checked);
  const PackageChoice& choice = chosen.choice();
  PackageReport report;
  report.container = choice.blob_index;
  report.entry_id = choice.entry_id;
  report.architecture = choice.architecture;
  report.languages = listed_numbers(choice.languages);
  report.folder = choice.folder;
  report.title = choice.title;
  report.status = chosen.status();
  const ItemWriter& writer = chosen.writer();
  for (int32_t i = 0; i < writer.count; ++i) {
    const ExtractItem& item = writer.items[i];
    static const uint8_t kNone[sizeof item.digest] = {};
    report.items.push_back({item.name, item.size, memcmp(item.digest, kNone, sizeof kNone) != 0});
  }
  return report;
}

// The package of each locale, each package reported once.
void report_locales(const PayloadSet& payload, const std::vector<LocaleOutcome>& outcomes, const CheckedRecords& checked,
                    SetupReport& report) {
  for (const LocaleOutcome& outcome : outcomes) {
    LocaleReport locale = {outcome, -1, status_of(kErrorInvalidData, kSitePackageChoice)};
    for (size_t i = 0; i < report.packages.size() && outcome.entry_id != 0; ++i) {
      const PackageReport& known = report.packages[i];
      if (known.container == outcome.blob_index && known.entry_id == outcome.entry_id) {
        locale.package = static_cast<int>(i);
      }
    }
    if (outcome.entry_id != 0 && locale.package < 0) {
      report.packages.push_back(report_package(payload, outcome, checked));
      locale.package = static_cast<int>(report.packages.size() - 1);
    }
    if (locale.package >= 0) locale.status = report.packages[static_cast<size_t>(locale.package)].status;
    report.locales.push_back(locale);
  }
}

bool pass_piece(const uint8_t* bytes, uint32_t length, void* context) {
  count_checked(length);
  return context == nullptr || static_cast<ItemSink*>(context)->write(bytes, length);
}

// The item's record checked as it inflates, its content passed to the sink, none of it held; with
// no sink, a record already checked against the same binding keeps its verdict.
Status stream_item(const PayloadBlob& blob, uint32_t record_id, const RecordBinding& binding,
                   const uint8_t* key_blob, ExtractItem& item, void* context) {
  const ItemDeliveryContext& delivery = *static_cast<const ItemDeliveryContext*>(context);
  ItemSink* sink = delivery.sink;
  for (size_t i = 0; sink == nullptr && delivery.checked != nullptr && i < delivery.checked->size(); ++i) {
    const CheckedRecord& known = (*delivery.checked)[i];
    if (known.end == blob.data + blob.size && known.id == record_id && same_binding(known.binding, binding)) {
      item.size = known.length;
      return known.status;
    }
  }
  if (sink != nullptr && !sink->begin(item)) return status_of(kErrorWriteFault, kSiteFileCopy);
  StreamedRecord record = {pass_piece, sink, UINT32_MAX, 0};
  Status status = stream_record(blob, FileRecordType, record_id, &binding, key_blob, kPayloadPublicKeySize, record);
  item.size = record.length;
  return status;
}

}  // namespace

ChosenItems::ChosenItems(const PayloadSet& payload, uint32_t lcid, ItemSink* sink, const CheckedRecords* checked)
    : delivery_{sink, checked} {
  writer_.delivery = stream_item;
  writer_.delivery_context = &delivery_;
  uint32_t language = lcid;
  char message[256];
  status_ = choose_package(payload, &language, choice_, writer_, "", message, sizeof message);
}

Bytes inspection_key(const SetupImage& image, const std::string& setup, const std::string& public_key) {
  if (public_key.empty()) return about_file(setup, [&] { return stub_key(image.bytes()); });
  Bytes key = read_file_bytes(public_key);
  if (key.size() != kPayloadPublicKeySize) throw ToolError(public_key, "not a 276-byte public key blob");
  return key;
}

SetupReport read_payload(SetupImage& image, const Bytes& key, std::optional<uint32_t> lcid) {
  SetupReport report;
  report.key = key;
  CheckedRecords checked;
  report.containers = report_containers(image, key, checked);
  report.discovery = image.discover(key);
  if (status_failed(report.discovery)) {
    if (lcid) report.locales.push_back({LocaleOutcome{*lcid}, -1, report.discovery});
    return report;
  }
  const PayloadSet& payload = image.payload();
  report_locales(payload, lcid ? std::vector<LocaleOutcome>{locale_outcome(payload, *lcid)} : locale_outcomes(payload),
                 checked, report);
  return report;
}

}  // namespace msiboot_tool
