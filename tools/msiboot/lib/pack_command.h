#pragma once
// msiboot pack: stub and packages (with their cabinets) into one setup.exe.
#include <optional>
#include <string>
#include <vector>

namespace msiboot_tool {

// What the command line gives for one package; unset fields are read from the package.
struct PackageInput {
  std::string path;
  std::optional<std::string> title, languages, folder, architecture;
};

enum class Placement { Default, Append, Certificate, SignatureTail };

struct PackOptions {
  std::string key_path;
  std::string output;
  std::string stub;  // empty: the stub installed beside the tool
  Placement placement = Placement::Default;
  std::vector<PackageInput> packages;
};

// Writes the setup.exe; throws std::runtime_error (one line naming the file) on any failure, and
// then leaves no output file. Warnings and notes go to stderr, the summary to stdout.
void pack_command(const PackOptions& options);

}  // namespace msiboot_tool
