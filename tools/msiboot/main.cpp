// msiboot: the publisher's tool. The command line is read with CLI11; each command's work is in
// the library (lib/*_command.h), which throws one-line errors that name the file.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "setup_report.h"
#include "keygen_command.h"
#include "pack_command.h"
#include "package_labels.h"
#include "stub_command.h"
#include "version_info.h"

namespace {

using namespace msiboot_tool;

// An encrypted key's passphrase, never asked for on a terminal.
void add_key_pass(CLI::App* command, std::optional<std::string>& key_pass) {
  command->add_option("--key-pass", key_pass,
                      "the passphrase of an encrypted --key: pass:TEXT, env:VARIABLE, file:PATH or fd:N");
}

// A validator from a library check that throws its one-line reason.
CLI::Validator checked(std::function<void(const std::string&)> check, const char* shown, const char* name) {
  return CLI::Validator(
      [check](std::string& value) {
        try {
          check(value);
          return std::string();
        } catch (const std::exception& e) {
          return std::string(e.what());
        }
      },
      shown, name);
}

// The publisher's icon and version information, for stub and pack alike.
void add_branding(CLI::App* command, BrandingOptions& branding, bool packing) {
  const CLI::Validator text = checked(check_version_text, "", "version text");
  command->add_option("--icon", branding.icon, "an .ico file: the icon of the setup.exe and its progress window");
  command->add_option("--version", branding.version,
                      packing ? "the file and product version, as 1.2.3.4 (default: the first package's ProductVersion)"
                              : "the file and product version, as 1.2.3.4")
      ->check(checked([](const std::string& v) { parse_version(v); }, "A.B.C.D", "version"));
  command->add_option("--product-name", branding.product_name,
                      packing ? "the product name of the version information (default: the first package's title)"
                              : "the product name of the version information")
      ->check(text);
  command->add_option("--company", branding.company, "the company name of the version information")->check(text);
  command->add_option("--description", branding.description, "the file description of the version information")
      ->check(text);
  command->add_option("--copyright", branding.copyright, "the copyright of the version information")->check(text);
}

// --languages: decimal identifiers from 1 to 65535, separated by ';' (or ',').
const CLI::Validator language_list =
    checked([](const std::string& value) { parse_languages(value, false); }, "LANGUAGES", "language list");

void add_keygen(CLI::App& app, std::function<int()>& run) {
  auto* command = app.add_subcommand("keygen", "Make a payload key pair: a private PEM key (owner-only, "
                                               "never over an existing file) and its 276-byte public blob");
  static std::string private_path, blob_path;
  command->add_option("PRIVATE.pem", private_path, "private key file to create")->required();
  command->add_option("PUBLIC.blob", blob_path, "public-key blob file to write")->required();
  command->callback([&run] { run = [] { return keygen_command({private_path, blob_path}); }; });
}

void add_stub(CLI::App& app, std::function<int()>& run) {
  auto* command = app.add_subcommand("stub", "Write a stub that trusts KEY: the built stub with KEY's "
                                             "public half stamped into its key slot");
  static StubOptions options;
  command->add_option("--key", options.key_path, "the payload key (PEM) the stub is to trust")->required();
  add_key_pass(command, options.key_pass);
  command->add_option("-o,--out", options.output, "the stub to write")->required();
  command->add_option("--from", options.from,
                      "the unsigned stub to stamp (default: the stub installed beside the tool)");
  add_branding(command, options.branding, false);
  command->callback([&run] { run = [] { stub_command(options); return 0; }; });
}

// --title, --languages, --folder and --arch apply to the next package on the command line.
void add_pack(CLI::App& app, std::function<int()>& run) {
  auto* command = app.add_subcommand("pack", "Pack Windows Installer packages, with the cabinets "
                                             "beside them, into a stub: a signed setup.exe");
  static PackOptions options;
  static std::vector<std::string> packages, titles, languages, folders, architectures;
  static std::string placement;
  command->add_option("--key", options.key_path, "the payload key (PEM) that signs every record")->required();
  add_key_pass(command, options.key_pass);
  command->add_option("-o,--out", options.output, "the setup.exe to write")->required();
  command->add_option("--stub", options.stub,
                      "the stub to pack into (default: the stub installed beside the tool); an "
                      "unsigned stub that trusts another key is stamped with KEY");
  command->add_option("--placement", placement,
                      "append (default for an unsigned stub), certificate (a carrier certificate in "
                      "the stub's Authenticode signature; default for a signed stub) or "
                      "signature-tail (after the signature data)")
      ->check(CLI::IsMember({"append", "certificate", "signature-tail"}));
  add_branding(command, options.branding, true);
  command->add_option("--title", titles, "the next package's progress-window title (default: its ProductName)")
      ->allow_extra_args(false);
  command->add_option("--languages", languages,
                      "the next package's language identifiers, as 1033;1049 (default: from its summary Template)")
      ->allow_extra_args(false)
      ->check(language_list);
  command->add_option("--folder", folders, "the next package's folder and Uninstall key name (default: its ProductCode)")
      ->allow_extra_args(false);
  command->add_option("--arch", architectures,
                      "the next package's architecture: x64, or Intel for a 32-bit package, which "
                      "the stub never installs (default: from its summary Template)")
      ->allow_extra_args(false)
      ->check(CLI::IsMember({"x64", "Intel"}));
  command->add_option("PACKAGE.msi", packages, "the packages, first choice first")->required();
  command->callback([command, &run] {
    // Replays the command line in order, so that each override goes to the package after it.
    std::map<const CLI::Option*, std::pair<std::vector<std::string>*, size_t>> taken = {
        {command->get_option("--title"), {&titles, 0}},
        {command->get_option("--languages"), {&languages, 0}},
        {command->get_option("--folder"), {&folders, 0}},
        {command->get_option("--arch"), {&architectures, 0}}};
    const CLI::Option* positional = command->get_option("PACKAGE.msi");
    PackageInput next;
    size_t package = 0;
    for (const CLI::Option* option : command->parse_order()) {
      if (option == positional) {
        next.path = packages.at(package++);
        options.packages.push_back(next);
        next = PackageInput{};
        continue;
      }
      auto found = taken.find(option);
      if (found == taken.end()) continue;
      std::string value = found->second.first->at(found->second.second++);
      std::optional<std::string>& field = option->get_name() == "--title"       ? next.title
                                          : option->get_name() == "--languages" ? next.languages
                                          : option->get_name() == "--folder"    ? next.folder
                                                                                : next.architecture;
      field = value;
    }
    if (next.title || next.languages || next.folder || next.architecture) {
      throw CLI::ValidationError("--title, --languages, --folder and --arch apply to the package after them");
    }
    options.placement = placement == "certificate"      ? Placement::Certificate
                        : placement == "signature-tail" ? Placement::SignatureTail
                        : placement == "append"         ? Placement::Append
                                                        : Placement::Default;
    run = [] { pack_command(options); return 0; };
  });
}

void add_inspect(CLI::App& app, std::function<int()>& run) {
  auto* command = app.add_subcommand(
      "inspect", "Show what a setup.exe carries: its containers, their records and manifests, and "
                 "the package its stub would install for a locale. Exit code 1 when it would install none");
  static InspectOptions options;
  command->add_option("SETUP.exe", options.setup, "the setup.exe to read")->required();
  command->add_option("--public-key", options.public_key,
                      "check the records against this 276-byte public-key blob instead of the key "
                      "stamped into the stub");
  command->add_option("--lcid", options.lcid, "the user's locale identifier to choose for")
      ->capture_default_str();
  command->add_flag("--json", options.json, "print one JSON document instead of text");
  command->callback([&run] { run = [] { return inspect_command(options); }; });
}

void add_extract(CLI::App& app, std::function<int()>& run) {
  auto* command = app.add_subcommand(
      "extract", "Write the files the stub would write for a locale (main.msi and its cabinets), "
                 "after the stub's own verification");
  static ExtractOptions options;
  command->add_option("SETUP.exe", options.setup, "the setup.exe to read")->required();
  command->add_option("--lcid", options.lcid, "the user's locale identifier to choose for")->required();
  command->add_option("-o,--out", options.output, "the folder to create (it must not exist, or be empty)")
      ->required();
  command->callback([&run] { run = [] { extract_command(options); return 0; }; });
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("msiboot: builds self-extracting setup.exe files for Windows Installer packages", "msiboot");
  app.require_subcommand(1);
  std::function<int()> run;
  add_keygen(app, run);
  add_stub(app, run);
  add_pack(app, run);
  add_inspect(app, run);
  add_extract(app, run);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // One line, like every other error: the command, then what is wrong.
    std::string name = app.get_subcommands().empty() ? "" : " " + app.get_subcommands().front()->get_name();
    std::fprintf(stderr, "msiboot%s: %s (see --help)\n", name.c_str(), e.what());
    return 2;
  }
  std::string name = app.get_subcommands().front()->get_name();
  try {
    return run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "msiboot %s: %s\n", name.c_str(), e.what());
    return 1;
  }
}
