#include "setup_contents.h"

#include <cstring>
#include <stdexcept>

#include "file_bytes.h"
#include "manifest_writer.h"
#include "payload/container.h"
#include "payload/manifest.h"
#include "payload/package_choice.h"
#include "payload/payload_discovery.h"
#include "payload/payload_public_key.h"
#include "payload/signature_table.h"
#include "platform/certificate_set.h"
#include "platform/heap.h"
#include "payload/item_collection.h"
#include "stub_key_slot.h"

namespace msiboot_tool {
namespace {

PayloadBlob blob_of(const uint8_t* bytes, uint32_t size, uint32_t flags) {
  PayloadBlob blob = {};
  blob.data = const_cast<uint8_t*>(bytes);  // find_record never changes the blob
  blob.size = size;
  blob.flags = flags;
  return blob;
}

// A record's content, unverified: its size and manifest text are shown whatever the key.
bool unverified_content(const PayloadBlob& blob, const RecordType& type, uint32_t id, Bytes* out) {
  PayloadBlob unsigned_blob = blob;
  unsigned_blob.flags = kPayloadCompressed;
  uint8_t* content = nullptr;
  uint32_t length = 0;
  if (status_failed(find_record(unsigned_blob, type, id, &content, &length))) return false;
  out->assign(content, content + length);
  heap_free(content);
  return true;
}

bool collect_record(const RecordLocation& location, void* context) {
  RecordReport record;
  record.manifest = location.manifest;
  record.id = location.id;
  record.signature_size = location.signature_length;
  record.stored_size = location.data_length;
  static_cast<std::vector<RecordReport>*>(context)->push_back(record);
  return true;
}

// The records from the end of the container, as the stub's lookups walk them.
std::vector<RecordReport> walk_container_records(const uint8_t* data, uint32_t size) {
  std::vector<RecordReport> records;
  walk_records(data, size, collect_record, &records);
  return records;
}

int collect_entry(uint32_t, uint32_t entry_id, const char* text, void* context) {
  EntryText split = split_binding(text);
  static_cast<std::vector<ManifestEntry>*>(context)->push_back({entry_id, split.fields,
                                                                split.binding});
  return 1;
}

ContainerReport report_container(const uint8_t* data, uint32_t size, const Bytes& key) {
  ContainerReport report;
  report.size = size;
  PayloadBlob blob = blob_of(data, size, kPayloadCompressed | kPayloadSigned);
  for (RecordReport& record : walk_container_records(data, size)) {
    const RecordType& type = record.manifest ? ManifestRecordType : FileRecordType;
    Bytes content;
    record.inflates = unverified_content(blob, type, record.id, &content);
    record.inflated_size = static_cast<uint32_t>(content.size());
    uint8_t* verified = nullptr;
    uint32_t length = 0;
    record.lookup = find_record_with_key(blob, type, record.id, key.data(),
                                         static_cast<uint32_t>(key.size()), &verified, &length);
    heap_free(verified);
    if (record.manifest && record.inflates) {
      PayloadBlob shown = blob;
      shown.manifest = content.data();
      shown.manifest_size = static_cast<uint32_t>(content.size());
      PayloadSet set = {&shown, 1, nullptr};
      walk_manifest(set, collect_entry, &report.entries);
    }
    report.records.push_back(record);
  }
  return report;
}

// The context of the carrier walk: the key to check records against, and the reports so far.
struct CarrierReports {
  const Bytes* key;
  std::vector<ContainerReport>* out;
};

// Every carrier is reported, also after one whose container the stub would refuse.
Status report_carrier(const Carrier& carrier, void* context) {
  auto* reports = static_cast<CarrierReports*>(context);
  ContainerReport report = report_container(carrier.value, carrier.length, *reports->key);
  report.certificate = carrier.certificate;
  report.extension = carrier.extension;
  reports->out->push_back(std::move(report));
  return 0;
}

// The carriers of the signature's certificates, walked as the stub's signature-table reader walks
// them. True when the stub goes on to read the whole file as one container: there is no
// signature, or its certificates hold no carrier (a signature that cannot be walked ends the
// stub's search).
bool report_carriers(const Bytes& setup, const Bytes& key, std::vector<ContainerReport>& out) {
  CarrierReports reports = {&key, &out};
  Status status = walk_carriers(setup.data(), static_cast<uint32_t>(setup.size()), report_carrier, &reports);
  return !status_failed(status) && out.empty();
}

// Discovery and choice exactly as the stub runs them, with key in place of the built-in one.
ChoiceReport report_choice(const Bytes& setup, const Bytes& key, uint32_t lcid) {
  ChoiceReport report;
  report.lcid = lcid;
  report.language = lcid;
  PayloadSet set = {nullptr, 0, key.data()};
  auto* image = static_cast<uint8_t*>(heap_alloc(kHeapFixed, setup.size()));
  if (image == nullptr) throw std::runtime_error("out of memory");
  memcpy(image, setup.data(), setup.size());
  report.status = discover_payload(set, &image, static_cast<uint32_t>(setup.size()));
  heap_free(image);
  if (!status_failed(report.status)) {
    PackageChoice choice = {};
    ItemWriter writer = empty_item_writer();
    char message[256];
    report.status = choose_package(set, &report.language, choice, writer, "", message, sizeof message);
    report.container = choice.blob_index;
    report.entry_id = choice.entry_id;
    report.architecture = choice.architecture;
    report.languages = choice.languages;
    report.folder = choice.folder;
    report.title = choice.title;
    for (int32_t i = 0; i < writer.count && !status_failed(report.status); ++i) {
      const ExtractItem& item = writer.items[i];
      report.items.push_back({item.name, Bytes(item.data, item.data + item.size)});
    }
    release_items(writer);
  }
  free_blobs(set);
  return report;
}

}  // namespace

SetupReport read_setup(const std::string& path, const std::string& public_key, uint32_t lcid) {
  Bytes setup = read_file_bytes(path);
  try {
    Bytes key = public_key.empty() ? stub_key(setup) : read_file_bytes(public_key);
    if (key.size() != kPayloadPublicKeySize) {
      throw std::runtime_error(public_key + ": not a 276-byte public key blob");
    }
    return inspect_setup(setup, key, lcid);
  } catch (const std::exception& e) {
    std::string what = e.what();
    if (!public_key.empty() && what.rfind(public_key, 0) == 0) throw;
    throw std::runtime_error(path + ": " + what);
  }
}


std::string status_text(Status status) {
  return "code " + std::to_string(status_code(status)) + " at site " + std::to_string(status_site(status));
}


SetupReport inspect_setup(const Bytes& setup, const Bytes& key, uint32_t lcid) {
  if (setup.size() > UINT32_MAX) throw std::runtime_error("larger than 4 GiB, which no stub reads");
  if (key.size() != kPayloadPublicKeySize) throw std::runtime_error("the key blob is not 276 bytes");
  SetupReport report;
  report.key = key;
  if (report_carriers(setup, key, report.containers)) {
    ContainerReport appended = report_container(setup.data(), static_cast<uint32_t>(setup.size()), key);
    appended.appended = true;
    if (!appended.records.empty()) report.containers.push_back(std::move(appended));
  }
  report.choice = report_choice(setup, key, lcid);
  return report;
}

}  // namespace msiboot_tool
