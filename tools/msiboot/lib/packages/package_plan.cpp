#include "packages/package_plan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "container/manifest_fields.h"
#include "files/tool_error.h"
#include "packages/msi_package.h"
#include "packages/package_labels.h"

namespace msiboot_tool {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kLargestRecord = 0xFFFFFFFF;  // the stub reads 32-bit record sizes

// The size of a readable regular file that a record can carry, or an error naming it.
uint64_t carried_file_size(const std::string& path) {
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) throw ToolError(path, "no such file");
  if (!fs::is_regular_file(status)) throw ToolError(path, "not a file");
  uint64_t size = fs::file_size(path, error);
  if (size > kLargestRecord) {
    throw ToolError(path, std::to_string(size) +
                             " bytes, more than a setup.exe record can carry (4 GiB - 1 bytes)");
  }
  return size;
}

// The Template's platform and languages, where the command line does not give both.
void label_from_template(const PackageInput& input, const MsiPackage& msi, PlannedPackage& plan) {
  std::string platform, languages;
  if (!input.architecture || !input.languages) {
    if (!msi.template_text) throw ToolError("has no summary Template (give --arch and --languages)");
    plan.template_text = *msi.template_text;
    size_t split = plan.template_text.find(';');
    if (split == std::string::npos && !input.languages) {
      throw ToolError("its summary Template \"" + plan.template_text + "\" names no languages (give --languages)");
    }
    platform = plan.template_text.substr(0, split);
    if (split != std::string::npos) languages = plan.template_text.substr(split + 1);
  }
  plan.architecture = input.architecture.value_or(architecture_of_platform(platform));
  if (input.languages) {
    plan.languages = join_languages(parse_languages(*input.languages, false));
    return;
  }
  std::vector<uint32_t> listed;
  try {
    listed = parse_languages(languages, true);
  } catch (const ToolError& e) {
    throw ToolError("its summary Template \"" + plan.template_text + "\": " + e.reason() + " (give --languages)");
  }
  // The stub never matches language 0; 1033 is the language every locale falls back to.
  for (uint32_t& language : listed) {
    if (language == kNeutralLanguage) {
      language = 1033;
      plan.neutral = true;
    }
  }
  std::vector<uint32_t> once;
  for (uint32_t language : listed) {
    if (std::find(once.begin(), once.end(), language) == once.end()) once.push_back(language);
  }
  plan.languages = join_languages(once);
}

void check_fields(const PlannedPackage& plan, const MsiPackage& msi) {
  check_manifest_field("its title", plan.title);
  check_manifest_field("its folder", plan.folder);
  if (!is_plain_file_name(plan.folder)) {
    throw ToolError("its folder \"" + plan.folder + "\" is not a plain folder name");
  }
  if (msi.loose_files > 0) {
    throw ToolError(std::to_string(msi.loose_files) + " of its files lie outside any cabinet (the first: " +
                             msi.first_loose_file +
                             "), and a setup.exe carries only the package and its cabinets: build it "
                             "with its files compressed into cabinets");
  }
}

}  // namespace

PlannedPackage plan_package(const PackageInput& input) {
  PlannedPackage plan;
  plan.path = input.path;
  plan.size = carried_file_size(input.path);
  MsiPackage msi = read_msi_package(input.path);
  about_file(input.path, [&] {
    if (!input.title && msi.product_name.empty()) throw ToolError("has no ProductName (give --title)");
    if (!input.folder && msi.product_code.empty()) throw ToolError("has no ProductCode (give --folder)");
    plan.title = input.title.value_or(msi.product_name);
    plan.folder = input.folder.value_or(msi.product_code);
    plan.product_version = msi.product_version;
    label_from_template(input, msi, plan);
    check_fields(plan, msi);
  });
  for (const std::string& cabinet : msi.cabinets) {
    if (!is_plain_file_name(cabinet)) {
      throw ToolError(input.path, "its cabinet name \"" + cabinet + "\" is not a plain file name");
    }
    fs::path beside = fs::path(input.path).parent_path() / cabinet;
    std::error_code error;
    if (!fs::is_regular_file(beside, error)) {
      throw ToolError(input.path, "its cabinet " + cabinet + " is missing (looked for " +
                               beside.string() + ")");
    }
    carried_file_size(beside.string());
    plan.cabinets.push_back(beside.string());
  }
  std::string shown = title_as_shown(plan.title);
  if (shown != plan.title) {
    std::fprintf(stderr,
                 "msiboot pack: warning: %s: the title \"%s\" does not fit the progress window (49 "
                 "characters); it will show \"%s\"\n",
                 input.path.c_str(), plan.title.c_str(), shown.c_str());
  }
  return plan;
}

}  // namespace msiboot_tool
