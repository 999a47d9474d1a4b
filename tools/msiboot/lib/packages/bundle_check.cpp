#include "packages/bundle_check.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "files/quiet_output.h"
#include "files/tool_error.h"
#include "files/warnings.h"
#include "packages/locale_outcomes.h"
#include "packages/package_labels.h"
#include "payload/container.h"
#include "payload/record_binding.h"

namespace msiboot_tool {
namespace {

bool is_x64(const PlannedPackage& package) {
  return package.architecture == "x64" || package.architecture == "X64";
}

bool lists(const PlannedPackage& package, uint32_t language) {
  std::vector<uint32_t> listed = parse_languages(package.languages, false);
  return std::find(listed.begin(), listed.end(), language) != listed.end();
}

std::string size_text(uint64_t bytes) {
  char text[32];
  if (bytes < 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1000);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1000 * 1000));
  }
  return text;
}

void say(const char* kind, const std::string& text) {
  if (quiet_output() && std::string(kind) == "note") return;
  std::fprintf(stderr, "msiboot pack: %s: %s\n", kind, text.c_str());
}

// A language-neutral package goes to every locale without a package of its own, unless an
// earlier package already lists 1033.
void note_neutral(const std::vector<PlannedPackage>& packages, size_t index) {
  const PlannedPackage& neutral = packages[index];
  std::string text = neutral.path + ": language-neutral (Template \"" + neutral.template_text + "\"): listed as 1033";
  auto earlier = std::find_if(packages.begin(), packages.begin() + static_cast<long>(index),
                              [](const PlannedPackage& p) { return is_x64(p) && lists(p, 1033); });
  if (earlier == packages.begin() + static_cast<long>(index)) {
    say("note", text + ", the language every other locale falls back to");
  } else {
    say("note", text + ", but " + earlier->path + " lists 1033 before it, so the other locales get " + earlier->path);
  }
}

[[noreturn]] void refuse_unreachable(const std::vector<PlannedPackage>& packages) {
  std::string which;
  for (const PlannedPackage& p : packages) which += (which.empty() ? "" : ", ") + p.path + " is for " + p.architecture;
  throw ToolError("no package would ever be installed: the stub installs x64 packages only, and " + which +
                           " (a 32-bit package installs on 64-bit Windows too: label it with --arch x64)");
}

}  // namespace

void check_bundle(const std::vector<PlannedPackage>& packages, const std::vector<uint32_t>& ids,
                  const Bytes& manifest) {
  for (size_t i = 0; i < packages.size(); ++i) {
    for (const std::string& warning : packages[i].warnings) warn("pack", warning);
    if (packages[i].neutral) note_neutral(packages, i);
  }
  std::vector<LocaleOutcome> outcomes = locale_outcomes(manifest);
  auto chosen = [&outcomes](uint32_t id) {
    return std::any_of(outcomes.begin(), outcomes.end(), [id](const LocaleOutcome& o) { return o.entry_id == id; });
  };
  if (std::none_of(ids.begin(), ids.end(), chosen)) refuse_unreachable(packages);
  for (size_t i = 0; i < packages.size(); ++i) {
    if (chosen(ids[i])) continue;
    const PlannedPackage& p = packages[i];
    warn("pack", p.path + " (" + size_text(p.size) + ") is never installed: " +
                       (is_x64(p) ? "every language it lists goes to a package before it"
                                  : "it is for " + p.architecture + ", and the stub installs x64 packages only"));
  }
  for (const LocaleOutcome& outcome : outcomes) {
    if (outcome.kind != LocaleKind::Other || outcome.entry_id != 0) continue;
    warn("pack",
        "users whose language no x64 package lists, nor its primary language, get nothing: no x64 package "
        "lists 1033, the language the stub falls back to");
  }
}

void check_manifest_size(const BundlePlan& bundle) {
  // The bindings as they will be written, but for the digests' values.
  std::vector<std::pair<uint32_t, std::string>> bindings;
  for (const auto& [id, file] : bundle.files) {
    bindings.emplace_back(id, "sha256=" + std::string(2 * kContentDigestSize, '0') + ":" +
                                  std::to_string(std::filesystem::file_size(file)));
  }
  size_t size = bundle_manifest(bundle, bindings).size();
  if (size > kManifestInflateCap) {
    throw ToolError("the manifest of its " + std::to_string(bindings.size()) + " entries would be " +
                    std::to_string(size) + " bytes, more than the " + std::to_string(kManifestInflateCap) +
                    " bytes the stub reads: carry fewer packages or cabinets, or shorter titles");
  }
}

}  // namespace msiboot_tool
