#include "packages/package_plan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <cstring>

#include <glib.h>
#include <stdexcept>

#include "container/manifest_fields.h"
#include "packages/cabinet_check.h"
#include "files/quiet_output.h"
#include "files/tool_error.h"
#include "packages/msi_package.h"
#include "packages/package_labels.h"
#include "payload/product_folder.h"
#include "shared/ascii_case.h"

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

// The folder is the product's key under the Uninstall key, which the stub reads to tell whether
// the product is installed: only the ProductCode is ever registered there.
void check_folder(const PackageInput& input, const PlannedPackage& plan, const MsiPackage& msi) {
  check_manifest_field("its folder", plan.folder);
  if (!is_plain_file_name(plan.folder)) {
    throw ToolError("its folder \"" + plan.folder + "\" is not a plain folder name");
  }
  if (input.folder && !msi.product_code.empty() && !equals_ignoring_ascii_case(input.folder->c_str(), msi.product_code.c_str())) {
    throw ToolError("--folder " + *input.folder + " differs from its ProductCode " + msi.product_code +
                    ", the key the installer registers the product under (--folder is for packages without one)");
  }
  if (!uninstall_key_fits(plan.folder.size())) {
    throw ToolError("its folder name is " + std::to_string(plan.folder.size()) +
                    " bytes long: the Uninstall key's path would pass 255 characters, so the product would never "
                    "be found registered");
  }
}

// Every item's path under the usual Installer folder fits the 260 characters a path may hold.
void check_item_paths(const PlannedPackage& plan) {
  std::vector<std::string> names = {"main.msi"};
  names.insert(names.end(), plan.cabinet_names.begin(), plan.cabinet_names.end());
  for (const std::string& name : names) {
    if (!item_path_fits(plan.folder.size(), name.size())) {
      throw ToolError(std::string(kUsualInstallerFolder) + "\\" + plan.folder + "\\" + name +
                      " would pass the 260 characters of a path: give the package a shorter folder or cabinet name");
    }
  }
}

void check_fields(const PlannedPackage& plan, const MsiPackage& msi) {
  check_manifest_field("its title", plan.title);
  check_manifest_field("its languages", plan.languages);
  if (msi.loose_files > 0) {
    throw ToolError(std::to_string(msi.loose_files) + " of its files lie outside any cabinet (the first: " +
                             msi.first_loose_file +
                             "), and a setup.exe carries only the package and its cabinets: build it "
                             "with its files compressed into cabinets");
  }
}

bool same_name_ignoring_case(const std::string& a, const std::string& b) {
  gchar* folded_a = g_utf8_casefold(a.c_str(), -1);
  gchar* folded_b = g_utf8_casefold(b.c_str(), -1);
  bool same = std::strcmp(folded_a, folded_b) == 0;
  g_free(folded_a);
  g_free(folded_b);
  return same;
}

// The cabinet beside the package, found ignoring case as Windows finds it: the one file whose
// name equals the Media row's in any case; another case is said, two such files are refused.
std::string cabinet_beside(const std::string& package, const std::string& cabinet) {
  fs::path folder = fs::path(package).parent_path();
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder.empty() ? fs::path(".") : folder, error)) {
    if (same_name_ignoring_case(entry.path().filename().string(), cabinet)) found.push_back(entry.path().filename().string());
  }
  if (found.empty()) {
    throw ToolError(package, "its cabinet " + cabinet + " is missing (looked for " + (folder / cabinet).string() +
                                 " in any letter case)");
  }
  std::sort(found.begin(), found.end());
  if (found.size() > 1) {
    throw ToolError(package, "its cabinet " + cabinet + " is ambiguous: " + found[0] + " and " + found[1] +
                                 " beside it are one file name on Windows; keep one");
  }
  if (found[0] != cabinet) {
    note("pack", package + ": its cabinet " + cabinet + " is the file " + found[0] + " (names on Windows ignore case)");
  }
  return (folder / found[0]).string();
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
    check_folder(input, plan, msi);
  });
  std::map<std::string, CabinetListing> listings;
  for (const std::string& cabinet : msi.cabinets) {
    about_file(input.path, [&] {
      check_manifest_field("its cabinet name", cabinet);
      if (!is_plain_file_name(cabinet)) throw ToolError("its cabinet name \"" + cabinet + "\" is not a plain file name");
    });
    std::string beside = cabinet_beside(input.path, cabinet);
    carried_file_size(beside);
    listings.emplace(cabinet, list_cabinet_file(beside));
    plan.cabinets.push_back(beside);
    plan.cabinet_names.push_back(cabinet);
  }
  about_file(input.path, [&] {
    check_item_paths(plan);
    check_cabinet_files(msi, listings);
  });
  std::string shown = title_as_shown(plan.title);
  if (shown != plan.title) {
    plan.warnings.push_back(input.path + ": the title \"" + plan.title +
                     "\" does not fit the progress window (49 characters); it will show \"" + shown + "\"");
  }
  return plan;
}

}  // namespace msiboot_tool
