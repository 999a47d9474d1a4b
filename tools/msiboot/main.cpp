// msiboot: the publisher's tool. The command line is read with CLI11 into each command's options;
// each command's work is in the library (lib/commands), which throws one-line errors that name the
// file.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "branding/stub_languages.h"
#include "branding/version_info.h"
#include "commands/extract_command.h"
#include "commands/inspect_command.h"
#include "commands/keygen_command.h"
#include "commands/pack_command.h"
#include "commands/stub_command.h"
#include "files/quiet_output.h"
#include "files/response_files.h"
#include "files/tool_error.h"
#include "inspect/json_report.h"
#include "packages/package_labels.h"

namespace {

using namespace msiboot_tool;

// The pack command line as given: the packages, and each override's values in the order given.
struct PackLine {
  PackOptions options;
  std::vector<std::string> packages, titles, languages, folders, architectures;
  std::string placement;
};

// Every command's options, filled while CLI11 parses.
struct CommandLine {
  KeygenOptions keygen;
  StubOptions stub;
  PackLine pack;
  InspectOptions inspect;
  ExtractOptions extract;
};

const CLI::App* find_command(const CLI::App& app, const std::string& name) {
  auto found = app.get_subcommands([&name](const CLI::App* command) { return command->get_name() == name; });
  return found.empty() ? nullptr : found.front();
}

std::string command_names(const CLI::App& app) {
  std::string names;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    names += (names.empty() ? "" : ", ") + command->get_name();
  }
  return names;
}

// No command at all (NAME is null), or a word that is not one: list the commands.
int unknown_command(const CLI::App& app, const char* name) {
  if (name == nullptr) {
    std::fprintf(stderr, "msiboot: give a command: %s (msiboot help COMMAND explains one)\n", command_names(app).c_str());
  } else {
    std::fprintf(stderr, "msiboot: no command \"%s\"; the commands are %s\n", name, command_names(app).c_str());
  }
  return 2;
}

// An encrypted key's passphrase, never asked for on a terminal.
void add_key_pass(CLI::App* command, std::optional<std::string>& key_pass) {
  command->add_option("--key-pass", key_pass,
                      "the passphrase of an encrypted --key: pass:TEXT, env:VARIABLE, file:PATH, fd:N or stdin");
}

// Only warnings and errors: no notes, summaries or progress.
void add_quiet(CLI::App* command) {
  command->add_flag_callback("-q,--quiet", [] { set_quiet_output(true); }, "print only warnings and errors");
}

// The languages of the stub's messages, for stub and pack alike.
void add_ui_texts(CLI::App* command, std::optional<std::string>& texts) {
  command->add_option("--ui-texts", texts,
                      "a UTF-8 file of the publisher's message texts, lines LANGUAGE NAME TEXT (NAME: "
                      "no-installer, corrupt or browse-title); their languages are added")
      ->check(CLI::ExistingFile);
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

void add_keygen(CLI::App& app, KeygenOptions& options) {
  auto* command = app.add_subcommand("keygen", "Make a payload key pair: a private PEM key (owner-only, "
                                               "never over an existing file) and its 276-byte public blob");
  add_quiet(command);
  command->add_option("PRIVATE.pem", options.private_path, "private key file to create")->required();
  command->add_option("PUBLIC.blob", options.blob_path, "public-key blob file to write")->required();
}

void add_stub(CLI::App& app, StubOptions& options) {
  auto* command = app.add_subcommand("stub", "Write a stub that trusts KEY: the built stub with KEY's "
                                             "public half stamped into its key slot");
  command->add_option("--key", options.key_path, "the payload key (PEM) the stub is to trust")->required();
  add_key_pass(command, options.key_pass);
  command->add_option("-o,--out", options.output, "the stub to write")->required();
  command->add_option("--from", options.from,
                      "the unsigned stub to stamp (default: the stub installed beside the tool)");
  add_branding(command, options.branding, false);
  command->add_option("--ui-languages", options.ui_languages,
                      "the languages the stub's messages are to speak besides English, as 1031;1049, "
                      "or all (pack adds the bundle's languages itself, to an unsigned stub)")
      ->check(checked([](const std::string& v) { parse_ui_languages(v); }, "LANGUAGES", "language list"));
  add_ui_texts(command, options.ui_texts);
  add_quiet(command);
}

// Replays the pack command line in order, so that each override goes to the package after it.
std::vector<PackageInput> packages_in_order(const CLI::App& command, PackLine& line) {
  std::map<std::string, std::pair<std::vector<std::string>*, size_t>> taken = {
      {"--title", {&line.titles, 0}},
      {"--languages", {&line.languages, 0}},
      {"--folder", {&line.folders, 0}},
      {"--arch", {&line.architectures, 0}}};
  std::vector<PackageInput> packages;
  PackageInput next;
  for (const CLI::Option* option : command.parse_order()) {
    if (option->get_name() == "PACKAGE.msi") {
      next.path = line.packages.at(packages.size());
      packages.push_back(next);
      next = PackageInput{};
      continue;
    }
    auto found = taken.find(option->get_name());
    if (found == taken.end()) continue;
    std::optional<std::string>& field = found->first == "--title"       ? next.title
                                        : found->first == "--languages" ? next.languages
                                        : found->first == "--folder"    ? next.folder
                                                                        : next.architecture;
    field = found->second.first->at(found->second.second++);
  }
  if (next.title || next.languages || next.folder || next.architecture) {
    throw CLI::ValidationError("--title, --languages, --folder and --arch apply to the package after them");
  }
  return packages;
}

void add_package_overrides(CLI::App* command, PackLine& line) {
  command->add_option("--title", line.titles, "the next package's progress-window title (default: its ProductName)")
      ->allow_extra_args(false);
  command->add_option("--languages", line.languages,
                      "the next package's language identifiers, as 1033;1049 (default: from its summary Template)")
      ->allow_extra_args(false)
      ->check(language_list);
  command->add_option("--folder", line.folders, "the next package's folder and Uninstall key name (default: its ProductCode)")
      ->allow_extra_args(false);
  command->add_option("--arch", line.architectures,
                      "the next package's architecture: x64, or Intel for a 32-bit package, which "
                      "the stub never installs (default: from its summary Template)")
      ->allow_extra_args(false)
      ->check(CLI::IsMember({"x64", "Intel"}));
}

void add_pack(CLI::App& app, PackLine& line) {
  auto* command = app.add_subcommand("pack", "Pack Windows Installer packages, with the cabinets "
                                             "beside them, into a stub: a signed setup.exe");
  command->add_option("--key", line.options.key_path, "the payload key (PEM) that signs every record")->required();
  add_key_pass(command, line.options.key_pass);
  command->add_option("-o,--out", line.options.output, "the setup.exe to write")->required();
  command->add_option("--stub", line.options.stub,
                      "the stub to pack into (default: the stub installed beside the tool); an "
                      "unsigned stub that trusts another key is stamped with KEY");
  command->add_option("--placement", line.placement,
                      "append (default for an unsigned stub), certificate (a carrier certificate in "
                      "the stub's Authenticode signature; default for a signed stub) or "
                      "signature-tail (after the signature data)")
      ->check(CLI::IsMember({"append", "certificate", "signature-tail"}));
  command->add_option("--level", line.options.level,
                      "the deflate level, 0 (store) to 12 (smallest, slowest); default 6")
      ->check(CLI::Range(0, msiboot_tool::kMaxLevel));
  add_branding(command, line.options.branding, true);
  command->add_flag("--strict", line.options.strict, "every warning is an error: nothing is written");
  add_ui_texts(command, line.options.ui_texts);
  add_quiet(command);
  add_package_overrides(command, line);
  command->add_option("PACKAGE.msi", line.packages, "the packages, first choice first")->required();
  command->callback([command, &line] {
    line.options.packages = packages_in_order(*command, line);
    line.options.placement = placement_named(line.placement);
  });
}

void add_inspect(CLI::App& app, InspectOptions& options) {
  auto* command = app.add_subcommand(
      "inspect", "Show what a setup.exe carries: its containers, their records and manifests, and "
                 "the package its stub installs for each locale, with every failure explained; check its "
                 "Authenticode signature and that its stub is the released one. Exit code 1 when "
                 "something needs the publisher");
  command->add_option("SETUP.exe", options.setup, "the setup.exe to read")->required();
  command->add_option("--public-key", options.public_key,
                      "check the records against this 276-byte public-key blob instead of the key "
                      "stamped into the stub");
  command->add_option("--lcid", options.lcid,
                      "show the package for this one locale identifier (default: what every kind of "
                      "locale gets)");
  command->add_option("--ca", options.ca_file,
                      "a PEM file of the CA certificates the Authenticode signature must chain to "
                      "(default: the system's certificate store, which only reports)")
      ->check(CLI::ExistingFile);
  command->add_option("--stub", options.stub,
                      "the released stub to compare the bootstrapper with (default: the one installed "
                      "beside the tool)")
      ->check(CLI::ExistingFile);
  command->add_flag("--json", options.json, "print one JSON document instead of text, errors too");
  command->add_flag("--strict", options.strict, "exit code 1 for warnings too");
}

void add_extract(CLI::App& app, ExtractOptions& options) {
  auto* command = app.add_subcommand(
      "extract", "Write the files the stub would write for a locale (main.msi and its cabinets), "
                 "after the stub's own verification");
  command->add_option("SETUP.exe", options.setup, "the setup.exe to read")->required();
  command->add_option("--lcid", options.lcid, "the user's locale identifier to choose for")->required();
  command->add_option("-o,--out", options.output, "the folder to create (it must not exist, or be empty)")
      ->required();
  add_quiet(command);
}

// inspect --json answers in JSON also when its command line is wrong.
bool asks_for_json(int argc, char** argv) {
  bool inspect = false, json = false;
  for (int i = 1; i < argc; ++i) {
    inspect = inspect || std::string(argv[i]) == "inspect";
    json = json || std::string(argv[i]) == "--json";
  }
  return inspect && json;
}

// The command's exit code: 0, or what the command itself says (keygen, inspect).
int run_command(const std::string& name, const CommandLine& line) {
  if (name == "keygen") return keygen_command(line.keygen);
  if (name == "inspect") return inspect_command(line.inspect);
  if (name == "stub") stub_command(line.stub);
  if (name == "pack") pack_command(line.pack.options);
  if (name == "extract") extract_command(line.extract);
  return 0;
}

// msiboot help [COMMAND]: the same text as --help. It is answered before the command line is
// parsed, since a command's name after it would otherwise start that command.
void add_help(CLI::App& app) {
  app.add_subcommand("help", "Show the help of msiboot or of one of its commands")
      ->add_option("COMMAND", "the command to explain");
}

int help_command(const CLI::App& app, int argc, char** argv) {
  // An option after help (help --help) asks about help itself.
  std::string word = argc < 3 ? "" : argv[2][0] == '-' ? "help" : argv[2];
  const CLI::App* about = word.empty() ? &app : find_command(app, word);
  if (about == nullptr) return unknown_command(app, argv[2]);
  std::string name = about == &app ? "msiboot" : "msiboot " + about->get_name();
  std::printf("%s", app.get_formatter()->make_help(about, name, CLI::AppFormatMode::Normal).c_str());
  return 0;
}

// The command line as given, its response files read.
int run(int argc, char** argv) {
  CLI::App app("msiboot: builds self-extracting setup.exe files for Windows Installer packages", "msiboot");
  app.set_version_flag("--version", "msiboot " MSIBOOT_VERSION, "Print the version and exit");
  app.require_subcommand(1);
  CommandLine line;
  add_keygen(app, line.keygen);
  add_stub(app, line.stub);
  add_pack(app, line.pack);
  add_inspect(app, line.inspect);
  add_extract(app, line.extract);
  add_help(app);
  // No command shows the commands; a word where a command belongs names itself.
  if (argc == 1) return unknown_command(app, nullptr);
  if (argv[1][0] != '-' && find_command(app, argv[1]) == nullptr) return unknown_command(app, argv[1]);
  if (std::string(argv[1]) == "help") return help_command(app, argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // One line, like every other error: the command, then what is wrong.
    std::string name = app.get_subcommands().empty() ? "" : " " + app.get_subcommands().front()->get_name();
    std::fprintf(stderr, "msiboot%s: %s (see --help)\n", name.c_str(), e.what());
    if (asks_for_json(argc, argv)) std::printf("%s\n", error_document("", error_kind_name(ErrorKind::CommandLine), e.what()).c_str());
    return 2;
  }
  std::string name = app.get_subcommands().front()->get_name();
  try {
    return run_command(name, line);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "msiboot %s: %s\n", name.c_str(), e.what());
    return 1;
  }
}

}  // namespace

// The arguments of response files stay alive while argv points into them.
int main(int argc, char** argv) {
  std::vector<std::string> arguments;
  try {
    arguments = expand_response_files(std::vector<std::string>(argv, argv + argc));
  } catch (const ToolError& e) {
    std::fprintf(stderr, "msiboot: %s\n", e.what());
    return 2;
  }
  std::vector<char*> expanded;
  for (std::string& argument : arguments) expanded.push_back(argument.data());
  expanded.push_back(nullptr);
  return run(static_cast<int>(arguments.size()), expanded.data());
}
