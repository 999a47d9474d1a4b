#include "pack_command.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "bundle_check.h"
#include "carrier_certificate.h"
#include "container_writer.h"
#include "file_bytes.h"
#include "manifest_writer.h"
#include "output_file.h"
#include "pe_certificate_table.h"
#include "progress_bar.h"
#include "stub_key_slot.h"
#include "tool_paths.h"

namespace msiboot_tool {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFirstId = 1000;
constexpr uint64_t kLargestSetup = 0xFFFFFFFF;  // the stub reads its own size in 32 bits

// A readable file, or an error naming it.
void require_file(const std::string& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    throw std::runtime_error(path + ": " + (fs::exists(path, error) ? "not a file" : "no such file"));
  }
}

// The entries and the files of the records, before any file is read. A cabinet file that several
// packages use is carried once, its entry listing every package's id.
struct Bundle {
  std::vector<const PlannedPackage*> packages;
  std::vector<uint32_t> package_ids;
  struct Cabinet {
    uint32_t id;
    std::string name;
    std::vector<uint32_t> package_ids;
  };
  std::vector<Cabinet> cabinets;
  std::vector<std::pair<uint32_t, std::string>> files;  // record id and path, in record order
};

Bundle plan_bundle(const std::vector<PlannedPackage>& packages) {
  Bundle bundle;
  std::map<fs::path, size_t> cabinet_index;  // canonical path -> position in cabinets
  uint32_t id = kFirstId;
  for (const PlannedPackage& package : packages) {
    uint32_t package_id = id++;
    bundle.packages.push_back(&package);
    bundle.package_ids.push_back(package_id);
    bundle.files.emplace_back(package_id, package.path);
    for (const std::string& path : package.cabinets) {
      auto [found, added] = cabinet_index.try_emplace(fs::canonical(path), bundle.cabinets.size());
      if (added) {
        bundle.cabinets.push_back({id, fs::path(path).filename().string(), {}});
        bundle.files.emplace_back(id++, path);
      }
      bundle.cabinets[found->second].package_ids.push_back(package_id);
    }
  }
  return bundle;
}

// The manifest of the bundle; each entry ends with its record's binding field (SHA-256 and
// length) where bindings has one, so that no record can stand in for another.
Bytes bundle_manifest(const Bundle& bundle, const std::map<uint32_t, std::string>& bindings = {}) {
  auto binding_of = [&bindings](uint32_t id) {
    auto found = bindings.find(id);
    return found == bindings.end() ? std::string() : found->second;
  };
  ManifestWriter manifest;
  for (size_t i = 0; i < bundle.packages.size(); ++i) {
    const PlannedPackage& p = *bundle.packages[i];
    uint32_t id = bundle.package_ids[i];
    manifest.package(id, p.architecture, p.languages, p.folder, p.title, binding_of(id));
  }
  for (const Bundle::Cabinet& c : bundle.cabinets) manifest.cabinet(c.id, c.package_ids, c.name, binding_of(c.id));
  return manifest.bytes();
}

// The manifest record, bound to the files, then one file record per package and per cabinet.
std::vector<ContainerRecord> read_records(const Bundle& bundle) {
  std::vector<ContainerRecord> records = {{true, 0, {}}};
  std::map<uint32_t, std::string> bindings;
  for (const auto& [id, path] : bundle.files) {
    records.push_back({false, id, read_file_bytes(path)});
    bindings[id] = binding_field(records.back().content);
  }
  records.front().content = bundle_manifest(bundle, bindings);
  return records;
}

// Every file the command reads: an output that is one of them is refused.
std::vector<std::string> inputs_of(const PackOptions& options, const std::string& stub_path,
                                   const Bundle& bundle) {
  std::vector<std::string> inputs = {options.key_path, stub_path};
  if (options.branding.icon) inputs.push_back(*options.branding.icon);
  for (const auto& file : bundle.files) inputs.push_back(file.second);
  return inputs;
}

// The branding, its version and product name defaulting to the first package's.
StubBranding package_branding(const BrandingOptions& options, const PlannedPackage& first) {
  std::optional<FourPartVersion> version;
  if (!options.version && !first.product_version.empty()) {
    try {
      version = parse_version(first.product_version, true);
    } catch (const std::exception& e) {
      throw std::runtime_error(first.path + ": its ProductVersion " + e.what() + " (give --version)");
    }
  }
  return load_branding(options, version, first.title);
}

const char* placement_name(Placement placement) {
  switch (placement) {
    case Placement::Certificate: return "certificate";
    case Placement::SignatureTail: return "signature-tail";
    default: return "append";
  }
}

// The stub to pack into, branded where asked, and stamped with the payload key when it is
// unsigned and trusts another.
Bytes prepared_stub(const std::string& path, const Bytes& key_blob, const std::string& key_path,
                    Placement& placement, const std::optional<StubBranding>& branding) {
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
    if (branding) stub = brand_stub(stub, *branding);  // refuses a signed stub
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

void require_fits(const std::string& output, uint64_t size) {
  if (size > kLargestSetup) {
    throw std::runtime_error(output + ": the setup.exe would be " + std::to_string(size) +
                             " bytes; the stub reads files under 4 GiB only");
  }
}

void write_setup(OutputFile& out, const std::string& output, const Bytes& stub,
                 const ContainerParts& container, Placement placement, const SigningKey& key) {
  if (placement == Placement::Append) {
    uint64_t size = stub.size();
    for (const Bytes& part : container) size += part.size();
    require_fits(output, size);
    out.write(stub);
    for (const Bytes& part : container) out.write(part);
  } else {
    Bytes setup = placement == Placement::Certificate
                      ? add_signature_certificates(
                            stub, {make_carrier_certificate(join_parts(container), self_issuer(key.pkey.get()))})
                      : append_in_certificate_entry(stub, join_parts(container));
    require_fits(output, setup.size());
    out.write(setup);
  }
  out.commit();
}

}  // namespace

void pack_command(const PackOptions& options) {
  if (options.packages.empty()) throw std::runtime_error("no package to pack");
  std::string stub_path = options.stub.empty() ? installed_stub_path() : options.stub;
  check_output_path(options.output, {options.key_path, stub_path});
  SigningKey key = read_payload_key(options.key_path, options.key_pass);
  Bytes key_blob = public_key_blob(key);
  std::vector<PlannedPackage> packages;
  for (const PackageInput& input : options.packages) packages.push_back(plan_package(input));
  Bundle bundle = plan_bundle(packages);
  // Before the long work: a folder that is not there, or an output that is an input, fails now.
  OutputFile out(options.output, inputs_of(options, stub_path, bundle));
  check_bundle(packages, bundle.package_ids, bundle_manifest(bundle));
  require_file(stub_path);
  std::optional<StubBranding> branding;
  if (options.branding.any()) branding = package_branding(options.branding, packages.front());
  Placement placement = options.placement;
  Bytes stub = prepared_stub(stub_path, key_blob, options.key_path, placement, branding);

  std::vector<ContainerRecord> records = read_records(bundle);
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
    write_setup(out, options.output, stub, container, placement, key);
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
