#include "commands/pack_command.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>

#include "authenticode/carrier_certificate.h"
#include "commands/pack_payload.h"
#include "branding/stub_languages.h"
#include "container/signing_key.h"
#include "files/file_bytes.h"
#include "files/output_file.h"
#include "files/progress_bar.h"
#include "files/quiet_output.h"
#include "files/tool_error.h"
#include "files/tool_paths.h"
#include "files/warnings.h"
#include "inspect/model.h"
#include "packages/bundle_check.h"
#include "packages/bundle_plan.h"
#include "packages/package_labels.h"
#include "pe/certificate_table.h"
#include "pe/key_slot.h"
#include "pe/written_checksum.h"
#include "payload/signature_table.h"

namespace msiboot_tool {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kLargestSetup = 0xFFFFFFFF;  // the stub reads its own size in 32 bits

// A readable file, or an error naming it.
void require_file(const std::string& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    throw ToolError(path, (fs::exists(path, error) ? "not a file" : "no such file"));
  }
}

// Every file the command reads: an output that is one of them is refused.
std::vector<std::string> inputs_of(const PackOptions& options, const std::string& stub_path,
                                   const BundlePlan& bundle) {
  std::vector<std::string> inputs = {options.key_path, stub_path};
  if (options.branding.icon) inputs.push_back(*options.branding.icon);
  if (options.ui_texts) inputs.push_back(*options.ui_texts);
  for (const auto& file : bundle.files) inputs.push_back(file.second);
  return inputs;
}

// The branding, its version and product name defaulting to the first package's.
StubBranding package_branding(const BrandingOptions& options, const PlannedPackage& first) {
  std::optional<FourPartVersion> version;
  if (!options.version && !first.product_version.empty()) {
    try {
      version = parse_version(first.product_version, true);
    } catch (const ToolError& e) {
      throw ToolError(first.path, "its ProductVersion " + e.reason() + " (give --version)");
    }
  }
  return load_branding(options, version, first.title);
}

// The unsigned stub's messages in the bundle's languages and the publisher's.
Bytes with_bundle_languages(const Bytes& stub, const std::vector<PlannedPackage>& packages, const PublisherTexts& texts) {
  std::vector<uint32_t> languages, untranslated;
  for (const PlannedPackage& p : packages) {
    for (uint32_t language : parse_languages(p.languages, false)) languages.push_back(language);
  }
  Bytes out = add_stub_languages(stub, languages, texts, &untranslated);
  if (!untranslated.empty()) {
    note("pack", "the stub has no texts in " + join_languages(untranslated) +
                     ": its messages show in English there (give them with --ui-texts)");
  }
  return out;
}

// The stub to pack into, branded and given the bundle's languages where it is unsigned, and
// stamped with the payload key when it is unsigned and trusts another.
Bytes prepared_stub(const std::string& path, const Bytes& key_blob, const std::string& key_path,
                    std::optional<Placement>& placement, const std::optional<StubBranding>& branding,
                    const std::vector<PlannedPackage>& packages, const PublisherTexts& texts) {
  Bytes stub = read_file_bytes(path);
  return about_file(path, [&] {
    bool is_signed = has_certificate_table(stub);
    Bytes trusted = stub_key(stub);
    if (!placement) placement = is_signed ? Placement::Certificate : Placement::Append;
    if (is_signed && placement == Placement::Append) {
      throw ToolError("is signed: appending would break its signature (use --placement certificate or signature-tail)");
    }
    if (!is_signed && placement != Placement::Append) {
      throw ToolError(std::string("is not signed: --placement ") + placement_name(*placement) +
                               " needs a stub signed with Authenticode");
    }
    if (!is_signed && sections_end(stub) < stub.size()) {
      throw ToolError("carries data after its image (a payload already?): give the bare stub");
    }
    if (branding) stub = brand_stub(stub, *branding);  // refuses a signed stub
    if (is_signed && !texts.empty()) {
      throw ToolError("is signed: its message texts go to msiboot stub --ui-texts, before signing");
    }
    if (!is_signed) stub = with_bundle_languages(stub, packages, texts);
    if (trusted == key_blob) return stub;
    if (is_signed) {
      throw ToolError("is signed and trusts another key than " + key_path +
                               " (stamp it with msiboot stub before signing it)");
    }
    if (!quiet_output()) {
      std::fprintf(stderr, "msiboot pack: stamping the key of %s into the stub %s\n", key_path.c_str(), path.c_str());
    }
    return stamp_stub(stub, key_blob);
  });
}

void require_fits(const std::string& output, uint64_t size) {
  if (size > kLargestSetup) {
    throw ToolError(output, "the setup.exe would be " + std::to_string(size) +
                             " bytes; the stub reads files under 4 GiB only");
  }
}

// The container streamed after the stub, which it must not take past 4 GiB.
uint64_t append_container(OutputFile& out, const std::string& output, const Bytes& stub,
                          const std::vector<ContainerRecord>& records, const SigningKey& key,
                          const PackSettings& settings) {
  out.write(stub);
  uint64_t size = stub.size();
  return write_container(records, key, [&](const uint8_t* bytes, size_t length) {
    size += length;
    require_fits(output, size);
    out.write(bytes, length);
  }, settings);
}

// The container inside the stub's signature. It is collected in memory only while a carrier
// certificate could still take it; otherwise it streams into the certificate entry, whatever its
// size. Returns its size and sets the placement taken.
uint64_t sign_in_container(OutputFile& out, const std::string& output, const Bytes& stub,
                           const std::vector<ContainerRecord>& records, Placement& placement, bool placement_asked,
                           const std::vector<PlannedPackage>& packages, const SigningKey& key,
                           const PackSettings& settings) {
  Bytes collected;
  std::optional<CertificateEntryStream> tail;
  auto go_to_tail = [&] {
    tail.emplace(out, stub);
    tail->write(collected.data(), collected.size());
    Bytes().swap(collected);
    placement = Placement::SignatureTail;
  };
  if (placement == Placement::SignatureTail) go_to_tail();
  uint64_t written = 0;
  const uint64_t size = write_container(records, key, [&](const uint8_t* bytes, size_t length) {
    written += length;
    require_fits(output, stub.size() + written);
    if (!tail && written >= kSignatureMessageLimit) {  // no carrier can take it any more
      refuse_carrier(packages, "more than " + std::to_string(kSignatureMessageLimit), placement_asked);
      go_to_tail();
    }
    if (tail) tail->write(bytes, length);
    else collected.insert(collected.end(), bytes, bytes + length);
  }, settings);
  if (!tail) {
    uint64_t message = 0;
    if (std::optional<Bytes> file = with_carrier(stub, collected, key, &message)) {
      require_fits(output, file->size());
      out.write(*file);
      return size;
    }
    refuse_carrier(packages, std::to_string(message), placement_asked);
    go_to_tail();
  }
  require_fits(output, tail->finished_size());
  tail->finish();
  return size;
}

// The written file read back by the stub's own reading: what it would refuse any user is never
// put into place.
void judge_written(const OutputFile& out, const std::string& output, const Bytes& key_blob) {
  for (const Finding& finding : judge_setup_file(out.temporary_path(), key_blob)) {
    if (!finding.warning) throw ToolError(output, "the stub would not install it: " + finding.text);
  }
}

}  // namespace

void pack_command(const PackOptions& options) {
  if (options.packages.empty()) throw ToolError("no package to pack");
  set_strict_warnings(options.strict);
  std::string stub_path = options.stub.empty() ? installed_stub_path() : options.stub;
  check_output_path(options.output, {options.key_path, stub_path});
  SigningKey key = read_payload_key(options.key_path, options.key_pass);
  Bytes key_blob = public_key_blob(key);
  std::vector<PlannedPackage> packages;
  for (const PackageInput& input : options.packages) packages.push_back(plan_package(input));
  BundlePlan bundle = plan_bundle(packages);
  // Before the long work: a folder that is not there, or an output that is an input, fails now.
  OutputFile out(options.output, inputs_of(options, stub_path, bundle));
  check_manifest_size(bundle);
  check_bundle(packages, bundle.package_ids, bundle_manifest(bundle));
  require_file(stub_path);
  std::optional<StubBranding> branding;
  if (options.branding.any()) branding = package_branding(options.branding, packages.front());
  std::optional<Placement> placement = options.placement;
  PublisherTexts texts;
  if (options.ui_texts) texts = read_publisher_texts(*options.ui_texts);
  Bytes stub = prepared_stub(stub_path, key_blob, options.key_path, placement, branding, packages, texts);

  std::vector<std::string> paths;
  for (const auto& file : bundle.files) paths.push_back(file.second);
  std::vector<ContentDigest> digests = file_digests(paths);
  share_identical_records(bundle, digests);
  std::vector<ContainerRecord> records = bundle_file_records(bundle, digests);
  size_t cabinets = records.size() - 1 - std::set<uint32_t>(bundle.package_ids.begin(), bundle.package_ids.end()).size();
  uint64_t total = 0, payload_size = 0;
  for (const ContentDigest& digest : digests) total += digest.size;
  {
    ProgressBar bar("msiboot pack: packing", total);
    PackSettings settings{options.level, [&bar](size_t bytes) { bar.advance(bytes); }};
    // What writing the output meets names the output; what placing the container meets is the stub's.
    about_file(stub_path, [&] {
      payload_size = *placement == Placement::Append
                         ? append_container(out, options.output, stub, records, key, settings)
                         : sign_in_container(out, options.output, stub, records, *placement,
                                             options.placement.has_value(), packages, key, settings);
    });
  }
  write_pe_checksum(out);
  judge_written(out, options.output, key_blob);
  out.commit();
  if (quiet_output()) return;
  std::printf("%s: %zu package%s and %zu cabinet%s, %llu bytes of payload (%s)\n",
              options.output.c_str(), packages.size(), packages.size() == 1 ? "" : "s",
              cabinets, cabinets == 1 ? "" : "s", static_cast<unsigned long long>(payload_size),
              placement_name(*placement));
}

}  // namespace msiboot_tool
