#include "inspect_command.h"

#include <openssl/sha.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "branding_report.h"
#include "manifest_fields.h"
#include "payload/payload_public_key.h"
#include "setup_contents.h"
#include "shared/error_codes.h"
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
    for (const ManifestEntry& e : c.entries) {
      json entry = {{"id", e.id}, {"text", e.text}};
      if (!e.binding.empty()) entry["binding"] = e.binding;
      entries.push_back(entry);
    }
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
    for (const ManifestEntry& e : c.entries) {
      std::printf("    entry %6u  %s\n", e.id, e.text.c_str());
      if (!e.binding.empty()) std::printf("                  bound to %s\n", e.binding.c_str());
    }
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

}  // namespace

int inspect_command(const InspectOptions& options) {
  SetupReport report = read_setup(options.setup, options.public_key, options.lcid);
  ShownBranding shows = show_branding(options.setup);
  bool key_given = !options.public_key.empty();
  if (options.json) {
    json document = report_json(options.setup, report, key_given);
    document["shows"] = shows.json;
    std::printf("%s\n", document.dump(2).c_str());
  } else {
    print_text(options.setup, report, key_given);
    std::fputs(shows.text.c_str(), stdout);
  }
  if (!status_failed(report.choice.status)) return 0;
  std::fprintf(stderr, "msiboot inspect: %s: the stub would install nothing for %u (%s)\n",
               options.setup.c_str(), options.lcid, status_text(report.choice.status).c_str());
  return 1;
}

}  // namespace msiboot_tool
