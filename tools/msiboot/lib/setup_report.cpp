#include "setup_report.h"

#include <openssl/sha.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "file_bytes.h"
#include "manifest_fields.h"
#include "output_file.h"
#include "payload/payload_public_key.h"
#include "setup_contents.h"
#include "shared/error_codes.h"
#include "stub_branding.h"
#include "stub_key_slot.h"

namespace msiboot_tool {
namespace {

using nlohmann::json;

std::string hex(const uint8_t* bytes, size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

// The key's SHA-256, or "none" for an empty slot.
std::string fingerprint(const Bytes& key) {
  if (is_empty_key(key)) return "none";
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(key.data(), key.size(), digest);
  return hex(digest, sizeof digest);
}

std::string verdict(Status lookup) {
  switch (status_code(lookup)) {
    case 0: return "valid";
    case kErrorFileCorrupt: return "does not verify";
    case kErrorBadKey: return "no usable key";
    case kErrorInvalidData: return "does not inflate";
    default: return "not readable";
  }
}

json status_json(Status status) {
  return {{"code", status_code(status)}, {"site", status_site(status)}};
}

std::string status_text(Status status) {
  return "code " + std::to_string(status_code(status)) + " at site " + std::to_string(status_site(status));
}

// The icon and version information a setup.exe shows, or why its resources cannot be read (the
// report on its payload stands all the same).
struct Shown {
  BrandingReport branding;
  std::string error;
};

json branding_json(const Shown& shown) {
  if (!shown.error.empty()) return {{"error", shown.error}};
  json icon = json::array();
  for (const IconSize& image : shown.branding.icon) {
    icon.push_back({{"width", image.width}, {"height", image.height}, {"bit_count", image.bit_count}});
  }
  json version = nullptr;
  if (const auto& v = shown.branding.version) {
    json strings = json::object();
    for (const auto& [name, value] : v->strings) strings[name] = value;
    version = {{"file_version", version_text(v->file_version)},
               {"product_version", version_text(v->product_version)},
               {"strings", strings}};
  }
  return {{"icon", icon}, {"version", version}};
}

void print_branding(const Shown& shown) {
  if (!shown.error.empty()) {
    std::printf("  resources: not readable (%s)\n", shown.error.c_str());
    return;
  }
  std::string sizes;
  for (const IconSize& image : shown.branding.icon) {
    sizes += (sizes.empty() ? "" : ", ") + std::to_string(image.width) + "x" + std::to_string(image.height) +
             " " + std::to_string(image.bit_count) + "-bit";
  }
  std::printf("  icon: %s\n", sizes.empty() ? "none" : sizes.c_str());
  const auto& v = shown.branding.version;
  if (!v) {
    std::printf("  version information: none\n");
    return;
  }
  std::printf("  version information: file %s, product %s\n", version_text(v->file_version).c_str(),
              version_text(v->product_version).c_str());
  for (const auto& [name, value] : v->strings) std::printf("    %s: %s\n", name.c_str(), value.c_str());
}

json report_json(const std::string& file, const SetupReport& report, bool key_given) {
  json containers = json::array();
  for (const ContainerReport& c : report.containers) {
    json records = json::array();
    for (const RecordReport& r : c.records) {
      records.push_back({{"type", r.manifest ? "manifest" : "file"},
                         {"id", r.id},
                         {"stored_size", r.stored_size},
                         {"signature_size", r.signature_size},
                         {"inflated_size", r.inflates ? json(r.inflated_size) : json(nullptr)},
                         {"signature_valid", status_code(r.lookup) == 0},
                         {"lookup", status_json(r.lookup)}});
    }
    json entries = json::array();
    for (const ManifestEntry& e : c.entries) entries.push_back({{"id", e.id}, {"text", e.text}});
    json location = c.appended ? json{{"kind", "appended"}}
                               : json{{"kind", "certificate"},
                                      {"certificate", c.certificate},
                                      {"extension", c.extension}};
    containers.push_back(
        {{"location", location}, {"size", c.size}, {"records", records}, {"manifest", entries}});
  }
  const ChoiceReport& choice = report.choice;
  json chosen = {{"lcid", choice.lcid}, {"language", choice.language},
                 {"installs", !status_failed(choice.status)}, {"status", status_json(choice.status)}};
  if (!status_failed(choice.status)) {
    json items = json::array();
    for (const ItemReport& item : choice.items) {
      items.push_back({{"name", item.name}, {"size", item.content.size()}});
    }
    chosen.update({{"container", choice.container}, {"entry_id", choice.entry_id},
                   {"architecture", choice.architecture}, {"languages", choice.languages},
                   {"folder", choice.folder}, {"title", choice.title},
                   {"title_shown", title_as_shown(choice.title)}, {"items", items}});
  }
  return {{"file", file},
          {"key", {{"source", key_given ? "given" : "stub"}, {"sha256", fingerprint(report.key)}}},
          {"containers", containers},
          {"choice", chosen}};
}

void print_text(const std::string& file, const SetupReport& report, bool key_given) {
  std::printf("%s\n  key (%s): %s\n", file.c_str(), key_given ? "given" : "the stub's own",
              is_empty_key(report.key) ? "none: the stub trusts no key until stamped"
                                       : ("sha256 " + fingerprint(report.key)).c_str());
  for (size_t i = 0; i < report.containers.size(); ++i) {
    const ContainerReport& c = report.containers[i];
    std::string where = c.appended ? "appended" : "in certificate " + std::to_string(c.certificate) +
                                                      ", extension " + std::to_string(c.extension);
    std::printf("  container %zu: %s, %u bytes\n", i, where.c_str(), c.size);
    for (const RecordReport& r : c.records) {
      std::string inflated = r.inflates ? std::to_string(r.inflated_size) : "-";
      std::printf("    %-8s %6u  stored %u, inflated %s, signature %s\n", r.manifest ? "manifest" : "file",
                  r.id, r.stored_size, inflated.c_str(), verdict(r.lookup).c_str());
    }
    for (const ManifestEntry& e : c.entries) std::printf("    entry %6u  %s\n", e.id, e.text.c_str());
  }
  const ChoiceReport& choice = report.choice;
  if (status_failed(choice.status)) {
    std::printf("  for %u: nothing is installed (%s)\n", choice.lcid, status_text(choice.status).c_str());
    return;
  }
  std::printf("  for %u: entry %u of container %u (%s, %s), folder %s, title \"%s\"\n", choice.lcid,
              choice.entry_id, choice.container, choice.architecture.c_str(), choice.languages.c_str(),
              choice.folder.c_str(), title_as_shown(choice.title).c_str());
  for (const ItemReport& item : choice.items) {
    std::printf("    %s  %zu bytes\n", item.name.c_str(), item.content.size());
  }
}

SetupReport read_setup(const std::string& path, const std::string& public_key, uint32_t lcid,
                       Shown* shown = nullptr) {
  Bytes setup = read_file_bytes(path);
  if (shown != nullptr) {
    try {
      shown->branding = read_branding(setup);
    } catch (const std::exception& e) {
      shown->error = e.what();
    }
  }
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

}  // namespace

int inspect_command(const InspectOptions& options) {
  Shown shown;
  SetupReport report = read_setup(options.setup, options.public_key, options.lcid, &shown);
  bool key_given = !options.public_key.empty();
  if (options.json) {
    json document = report_json(options.setup, report, key_given);
    document["shows"] = branding_json(shown);
    std::printf("%s\n", document.dump(2).c_str());
  } else {
    print_text(options.setup, report, key_given);
    print_branding(shown);
  }
  if (!status_failed(report.choice.status)) return 0;
  std::fprintf(stderr, "msiboot inspect: %s: the stub would install nothing for %u (%s)\n",
               options.setup.c_str(), options.lcid, status_text(report.choice.status).c_str());
  return 1;
}

void extract_command(const ExtractOptions& options) {
  SetupReport report = read_setup(options.setup, "", options.lcid);
  if (status_failed(report.choice.status)) {
    throw std::runtime_error(options.setup + ": the stub would install nothing for " +
                             std::to_string(options.lcid) + " (" + status_text(report.choice.status) + ")");
  }
  OutputFolder folder(options.output);
  for (const ItemReport& item : report.choice.items) {
    if (!is_plain_file_name(item.name)) {
      throw std::runtime_error(options.setup + ": the item name \"" + item.name + "\" is not a plain file name");
    }
    folder.add(item.name, item.content);
  }
  folder.commit();
  for (const ItemReport& item : report.choice.items) {
    std::printf("%s/%s  %zu bytes\n", options.output.c_str(), item.name.c_str(), item.content.size());
  }
}

}  // namespace msiboot_tool
