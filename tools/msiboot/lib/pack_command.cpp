#include "pack_command.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "carrier_certificate.h"
#include "container_writer.h"
#include "file_bytes.h"
#include "manifest_fields.h"
#include "manifest_writer.h"
#include "msi_package.h"
#include "output_file.h"
#include "pe_certificate_table.h"
#include "progress_bar.h"
#include "stub_key_slot.h"
#include "tool_paths.h"

namespace msiboot_tool {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFirstId = 1000;

struct PlannedPackage {
  std::string path, architecture, languages, folder, title;
  std::vector<std::string> cabinets;  // paths beside the package
};

void warn(const std::string& text) { std::fprintf(stderr, "msiboot pack: warning: %s\n", text.c_str()); }

// A readable file, or an error naming it.
void require_file(const std::string& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    throw std::runtime_error(path + ": " + (fs::exists(path, error) ? "not a file" : "no such file"));
  }
}

PlannedPackage plan_package(const PackageInput& input) {
  require_file(input.path);
  MsiPackage msi = read_msi_package(input.path);
  PlannedPackage plan{input.path, input.architecture.value_or(msi.architecture),
                      input.languages.value_or(msi.languages), input.folder.value_or(msi.product_code),
                      input.title.value_or(msi.product_name), {}};
  try {
    check_manifest_field("its architecture", plan.architecture);
    check_manifest_field("its languages", plan.languages);
    check_manifest_field("its folder", plan.folder);
    check_manifest_field("its title", plan.title);
  } catch (const std::exception& e) {
    throw std::runtime_error(input.path + ": " + e.what());
  }
  if (!is_plain_file_name(plan.folder)) {
    throw std::runtime_error(input.path + ": its folder \"" + plan.folder + "\" is not a plain folder name");
  }
  for (const std::string& cabinet : msi.cabinets) {
    if (!is_plain_file_name(cabinet)) {
      throw std::runtime_error(input.path + ": its cabinet name \"" + cabinet + "\" is not a plain file name");
    }
    fs::path beside = fs::path(input.path).parent_path() / cabinet;
    std::error_code error;
    if (!fs::is_regular_file(beside, error)) {
      throw std::runtime_error(input.path + ": its cabinet " + cabinet + " is missing (looked for " +
                               beside.string() + ")");
    }
    plan.cabinets.push_back(beside.string());
  }
  std::string shown = title_as_shown(plan.title);
  if (shown != plan.title) {
    warn(input.path + ": the title \"" + plan.title +
         "\" does not fit the progress window (49 characters); it will show \"" + shown + "\"");
  }
  if (plan.architecture != "x64" && plan.architecture != "X64") {
    warn(input.path + ": a package for " + plan.architecture + ", which the x64 stub never installs");
  }
  return plan;
}

// The manifest record and one file record per package and per cabinet. A cabinet file that
// several packages use is carried once, its entry listing every package's id. Every entry ends with
// its record's binding field (SHA-256 and length), so that no record can stand in for another.
std::vector<ContainerRecord> plan_records(const std::vector<PlannedPackage>& packages) {
  ManifestWriter manifest;
  std::vector<ContainerRecord> files;
  std::map<fs::path, size_t> cabinet_index;     // canonical path -> position in cabinets
  std::vector<std::vector<uint32_t>> cabinet_ids;  // package ids of each cabinet
  std::vector<std::string> cabinet_names;
  std::vector<uint32_t> cabinet_record_ids;
  uint32_t id = kFirstId;
  std::vector<uint32_t> package_ids;
  for (const PlannedPackage& package : packages) {
    uint32_t package_id = id++;
    package_ids.push_back(package_id);
    files.push_back({false, package_id, read_file_bytes(package.path)});
    for (const std::string& path : package.cabinets) {
      auto [found, added] = cabinet_index.try_emplace(fs::canonical(path), cabinet_ids.size());
      if (added) {
        cabinet_ids.push_back({});
        cabinet_names.push_back(fs::path(path).filename().string());
        cabinet_record_ids.push_back(id);
        files.push_back({false, id++, read_file_bytes(path)});
      }
      cabinet_ids[found->second].push_back(package_id);
    }
  }
  // files holds each package's record, then its new cabinets: find them by id for their bindings.
  auto binding_of = [&files](uint32_t record_id) {
    for (const ContainerRecord& file : files) {
      if (file.id == record_id) return binding_field(file.content);
    }
    throw std::logic_error("no record " + std::to_string(record_id));
  };
  for (size_t i = 0; i < packages.size(); ++i) {
    const PlannedPackage& p = packages[i];
    manifest.package(package_ids[i], p.architecture, p.languages, p.folder, p.title,
                     binding_of(package_ids[i]));
  }
  for (size_t c = 0; c < cabinet_ids.size(); ++c) {
    manifest.cabinet(cabinet_record_ids[c], cabinet_ids[c], cabinet_names[c],
                     binding_of(cabinet_record_ids[c]));
  }
  std::vector<ContainerRecord> records = {{true, 0, manifest.bytes()}};
  for (ContainerRecord& file : files) records.push_back(std::move(file));
  return records;
}

const char* placement_name(Placement placement) {
  switch (placement) {
    case Placement::Certificate: return "certificate";
    case Placement::SignatureTail: return "signature-tail";
    default: return "append";
  }
}

// The stub to pack into, stamped with the payload key when it is unsigned and trusts another.
Bytes prepared_stub(const std::string& path, const Bytes& key_blob, const std::string& key_path,
                    Placement& placement) {
  Bytes stub = read_file_bytes(path);
  try {
    bool is_signed = has_certificate_table(stub);
    Bytes trusted = stub_key(stub);
    if (placement == Placement::Default) placement = is_signed ? Placement::Certificate : Placement::Append;
    if (is_signed && placement == Placement::Append) {
      throw std::runtime_error("is signed: appending would break its signature (use --placement certificate or signature-tail)");
    }
    if (!is_signed && placement != Placement::Append) {
      throw std::runtime_error(std::string("is not signed: --placement ") + placement_name(placement) +
                               " needs a stub signed with Authenticode");
    }
    if (!is_signed && sections_end(stub) < stub.size()) {
      throw std::runtime_error("carries data after its image (a payload already?): give the bare stub");
    }
    if (trusted == key_blob) return stub;
    if (is_signed) {
      throw std::runtime_error("is signed and trusts another key than " + key_path +
                               " (stamp it with msiboot stub before signing it)");
    }
    std::fprintf(stderr, "msiboot pack: stamping the key of %s into the stub %s\n", key_path.c_str(),
                 path.c_str());
    return stamp_stub(stub, key_blob);
  } catch (const std::exception& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

void write_setup(OutputFile& out, const Bytes& stub, const ContainerParts& container,
                 Placement placement, const SigningKey& key) {
  if (placement == Placement::Append) {
    out.write(stub);
    for (const Bytes& part : container) out.write(part);
  } else if (placement == Placement::Certificate) {
    CertificateIssuer issuer = self_issuer(key.pkey.get());
    out.write(add_signature_certificates(stub, {make_carrier_certificate(join_parts(container), issuer)}));
  } else {
    out.write(append_in_certificate_entry(stub, join_parts(container)));
  }
  out.commit();
}

}  // namespace

void pack_command(const PackOptions& options) {
  if (options.packages.empty()) throw std::runtime_error("no package to pack");
  SigningKey key = read_signing_key(options.key_path);
  Bytes key_blob = public_key_blob(key);
  std::vector<PlannedPackage> packages;
  for (const PackageInput& input : options.packages) packages.push_back(plan_package(input));
  OutputFile out(options.output);  // before the long work: a folder that is not there fails now
  std::string stub_path = options.stub.empty() ? installed_stub_path() : options.stub;
  require_file(stub_path);
  Placement placement = options.placement;
  Bytes stub = prepared_stub(stub_path, key_blob, options.key_path, placement);

  std::vector<ContainerRecord> records = plan_records(packages);
  size_t files = records.size() - 1, total = 0;
  for (const ContainerRecord& record : records) total += record.content.size();
  ContainerParts container;
  {
    ProgressBar bar("msiboot pack: packing", total);
    container = write_container_parts(records, key, [&bar](size_t bytes) { bar.advance(bytes); });
  }
  size_t payload_size = 0;
  for (const Bytes& part : container) payload_size += part.size();
  records.clear();
  try {
    write_setup(out, stub, container, placement, key);
  } catch (const std::exception& e) {
    std::string what = e.what();
    if (what.rfind(options.output, 0) == 0) throw;
    throw std::runtime_error(stub_path + ": " + what);
  }
  std::printf("%s: %zu package%s and %zu cabinet%s, %zu bytes of payload (%s)\n",
              options.output.c_str(), packages.size(), packages.size() == 1 ? "" : "s",
              files - packages.size(), files - packages.size() == 1 ? "" : "s", payload_size,
              placement_name(placement));
}

}  // namespace msiboot_tool
