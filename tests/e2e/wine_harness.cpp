#include "wine_harness.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "container/manifest_writer.h"
#include "test_process.h"
#include "test_signing.h"

namespace {

// Creating the prefix on first use takes a while; the robot's own time-out comes on top.
constexpr int kWineStartAllowanceMs = 240000;

// Reads one "..." text at pos (which must point at the opening quote), undoing the escapes.
std::string read_quoted(const std::string& line, size_t* pos) {
  std::string text;
  if (*pos >= line.size() || line[*pos] != '"') return text;
  size_t i = *pos + 1;
  for (; i < line.size() && line[i] != '"'; ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      char e = line[++i];
      c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
    }
    text += c;
  }
  *pos = i + 1;
  return text;
}

// The quoted value of field `name=` found at or after *pos.
std::string field(const std::string& line, const std::string& name, size_t* pos) {
  size_t at = line.find(name + "=\"", *pos);
  if (at == std::string::npos) return {};
  *pos = at + name.size() + 1;
  return read_quoted(line, pos);
}

bool starts_with(const std::string& line, const char* prefix) {
  return line.rfind(prefix, 0) == 0;
}

// Reads the robot's transcript, one event a line.
RobotRun parse_robot_transcript(const std::string& transcript) {
  RobotRun run;
  run.transcript = transcript;
  std::istringstream lines(transcript);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t pos = 0;
    if (starts_with(line, "box ")) {
      std::string caption = field(line, "caption", &pos);
      run.boxes.push_back({caption, field(line, "text", &pos)});
    } else if (starts_with(line, "browser ")) {
      std::string caption = field(line, "caption", &pos);
      run.browsers.push_back({caption, field(line, "title", &pos)});
    } else if (starts_with(line, "window ")) {
      std::string class_name = field(line, "class", &pos);
      run.windows.push_back({class_name, field(line, "caption", &pos), {}});
    } else if (starts_with(line, "icon ") && !run.windows.empty()) {
      run.windows.back().icon_colours.push_back(line.substr(5));
    } else if (starts_with(line, "press ")) {
      run.presses.push_back(line.substr(6));
    } else if (starts_with(line, "missing ")) {
      run.presses.push_back(line);
    } else if (starts_with(line, "progress ")) {
      RobotProgress progress;
      if (std::sscanf(line.c_str(), "progress pos=%d max=%d", &progress.pos, &progress.max) == 2) {
        run.progress.push_back(progress);
      }
    } else if (line == "timeout") {
      run.timed_out = true;
    } else if (starts_with(line, "exit ")) {
      run.exit_code = static_cast<int>(std::stoul(line.substr(5)));
    }
  }
  return run;
}

// A Linux path in wine's form (wine maps drive Z: to the root); other paths as they are.
std::string wine_path(std::string path) {
  if (path.empty() || path[0] != '/') return path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return "Z:" + path;
}

// The prefix the harness works in: the shared one, or the default-layout one while a
// DefaultLayoutPrefix lives.
bool default_layout = false;

std::string current_prefix() {
  return default_layout ? std::string(MSIBOOT_WINEPREFIX) + "-default-layout"
                        : std::string(MSIBOOT_WINEPREFIX);
}

// wine-run and its options for the current prefix.
std::vector<std::string> wine_run() {
  std::vector<std::string> argv = {MSIBOOT_WINE_RUN, "--prefix", current_prefix()};
  if (default_layout) argv.push_back("--default-layout");
  return argv;
}

std::vector<std::string> robot_command(int timeout_ms) {
  std::vector<std::string> argv = wine_run();
  argv.insert(argv.end(), {MSIBOOT_ROBOT, "--timeout", std::to_string(timeout_ms)});
  return argv;
}

}  // namespace

std::string e2e_work_dir() {
  std::filesystem::create_directories(MSIBOOT_WORK_DIR);
  return MSIBOOT_WORK_DIR;
}

std::string make_stub_copy(const std::string& file_name, const std::vector<uint8_t>& appended,
                           const std::string& stub) {
  std::vector<uint8_t> bytes = msiboot_tool::read_file_bytes(stub);
  bytes.insert(bytes.end(), appended.begin(), appended.end());
  std::string path = e2e_work_dir() + "/" + file_name;
  msiboot_test::write_file_bytes(path, bytes);
  return path;
}

namespace {

RobotRun run_robot(std::vector<std::string> argv, const std::string& exe,
                   const std::vector<std::string>& args, int timeout_ms) {
  argv.push_back("--");
  argv.push_back(wine_path(exe));
  argv.insert(argv.end(), args.begin(), args.end());

  const msiboot_test::ProcessRun robot = msiboot_test::run_process(argv, timeout_ms + kWineStartAllowanceMs);
  RobotRun run = parse_robot_transcript(robot.out);
  if (robot.killed) {
    run.timed_out = true;
    run.transcript += "(the robot itself did not end in time and was killed)\n";
  }
  return run;
}

}  // namespace

RobotRun run_under_robot(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& presses, int timeout_ms) {
  std::vector<std::string> argv = robot_command(timeout_ms);
  for (const std::string& press : presses) argv.insert(argv.end(), {"--press", press});
  return run_robot(argv, exe, args, timeout_ms);
}

RobotRun run_swapped_under_robot(const std::string& exe, const std::string& replacement,
                                 const std::vector<std::string>& args) {
  std::vector<std::string> argv = robot_command(60000);
  argv.insert(argv.end(), {"--swap", wine_path(replacement)});
  return run_robot(argv, exe, args, 60000);
}

std::vector<RobotRun> run_batch_under_robot(const std::vector<std::string>& exes,
                                            const std::vector<std::string>& collect,
                                            int timeout_ms) {
  std::string list;
  for (const std::string& exe : exes) list += wine_path(exe) + "\n";
  const std::string list_path = e2e_work_dir() + "/batch.txt";
  msiboot_test::write_file_bytes(list_path, std::vector<uint8_t>(list.begin(), list.end()));
  std::vector<std::string> argv = robot_command(timeout_ms);
  argv.insert(argv.end(), {"--batch", wine_path(list_path)});
  for (const std::string& path : collect) argv.insert(argv.end(), {"--collect", path});

  const int deadline_ms = kWineStartAllowanceMs + timeout_ms * static_cast<int>(exes.size());
  const std::string output = msiboot_test::run_process(argv, deadline_ms).out;
  std::vector<std::string> transcripts;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (starts_with(line, "run ")) transcripts.emplace_back();
    if (!transcripts.empty()) transcripts.back() += line + "\n";
  }
  std::vector<RobotRun> runs;
  for (const std::string& transcript : transcripts) {
    runs.push_back(parse_robot_transcript(transcript));
  }
  runs.resize(exes.size());  // runs the robot never reached stay at exit code -1
  return runs;
}

void ensure_prefix() { run_in_prefix({"cmd", "/c", "exit"}); }

DefaultLayoutPrefix::DefaultLayoutPrefix() {
  default_layout = true;
  ensure_prefix();
}

DefaultLayoutPrefix::~DefaultLayoutPrefix() { default_layout = false; }

std::string DefaultLayoutPrefix::home() {
  return std::string(MSIBOOT_WINEPREFIX) + "-default-layout-home";
}

std::string prefix_path(const std::string& windows_path) {
  std::string path = current_prefix() + "/drive_c";
  std::string rest = windows_path.substr(windows_path.rfind(':') + 1);
  for (char& c : rest) c = c == '\\' ? '/' : c;
  return path + rest;
}

std::vector<uint8_t> read_if_present(const std::string& path) {
  if (!std::filesystem::exists(path)) return {};
  return msiboot_tool::read_file_bytes(path);
}

std::vector<uint8_t> x86_only_container(msiboot_test::RecordFault manifest_fault,
                                        msiboot_test::RecordFault file_fault) {
  msiboot_tool::ManifestWriter manifest;
  manifest.package(1000, "x86", "1033", "{6B29FC40-CA47-1067-B31D-00DD010662DA}", "Example");
  return msiboot_test::write_container({{true, 0, manifest.bytes(), manifest_fault},
                                        {false, 1000, std::vector<uint8_t>(4096, 0x42), file_fault}},
                                       msiboot_test::test_signing_key());
}

void expect_failure_box(const RobotRun& run, int exit_code, const std::string& caption, const std::string& text) {
  ASSERT_FALSE(run.timed_out) << run.transcript;
  EXPECT_EQ(run.exit_code, exit_code) << run.transcript;
  ASSERT_EQ(run.boxes.size(), 1u) << run.transcript;
  if (!caption.empty()) {
    EXPECT_EQ(run.boxes[0].caption, caption);
  }
  EXPECT_EQ(run.boxes[0].text, text);
}

Sample sample_package(const std::string& language, const std::string& product_code, const std::string& name,
                      const std::string& text, const std::vector<std::string>& options) {
  Sample sample = {language, product_code, name,
                   e2e_work_dir() + "/sample-" + language + (options.empty() ? "" : "-" + product_code), {}, {}};
  std::vector<std::string> argv = {std::string(MSIBOOT_SOURCE_DIR) + "/scripts/sample-msi", "--out", sample.dir,
                                   "--language", language, "--product-code", product_code, "--name", name,
                                   "--text", text};
  argv.insert(argv.end(), options.begin(), options.end());
  std::filesystem::remove_all(sample.dir);
  msiboot_test::ProcessRun built = msiboot_test::run_process(argv);
  if (built.exit_code != 0) throw std::runtime_error("scripts/sample-msi failed: " + built.err);
  sample.package = {"x64", language, product_code, name, msiboot_tool::read_file_bytes(sample.dir + "/sample.msi"), {}};
  if (std::filesystem::exists(sample.dir + "/sample.cab")) {
    sample.package.cabinets.push_back({"sample.cab", msiboot_tool::read_file_bytes(sample.dir + "/sample.cab")});
  }
  sample.readme = msiboot_tool::read_file_bytes(sample.dir + "/files/readme.txt");
  return sample;
}

bool installed(const Sample& sample) {
  return product_registered(sample.code) &&
         read_if_present(prefix_path("C:\\Program Files\\" + sample.name + "\\readme.txt")) == sample.readme;
}

std::string installer_folder(const std::string& folder) { return prefix_path("C:\\windows\\Installer\\" + folder); }

bool product_registered(const std::string& code, const char* view) {
  const std::string key = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code;
  return run_in_prefix({"reg", "query", key, "/v", "UninstallString", view}).find("UninstallString") !=
         std::string::npos;
}

void remove_product(const std::string& code, const char* view) {
  if (product_registered(code, view)) run_in_prefix({"msiexec", "/x", code, "/qn"});
  std::filesystem::remove_all(installer_folder(code));
}

void expect_items_in(const std::string& folder, const BundlePackage& package) {
  EXPECT_EQ(read_if_present(folder + "/main.msi"), package.msi) << folder;
  for (const BundleFile& cabinet : package.cabinets) {
    EXPECT_EQ(read_if_present(folder + "/" + cabinet.name), cabinet.content) << folder << "/" << cabinet.name;
  }
}

std::string user_folder() {
  for (const auto& user : std::filesystem::directory_iterator(prefix_path("C:\\users"))) {
    if (user.path().filename() != "Public") return user.path().string();
  }
  return {};
}

BlockedInstallerFolder::BlockedInstallerFolder(const std::string& product_folder)
    : installer((ensure_prefix(), prefix_path("C:\\windows\\Installer"))),
      documents(user_folder() + "/Documents/" + product_folder) {
  if (std::filesystem::exists(installer)) std::filesystem::rename(installer, installer + ".saved");
  msiboot_test::write_file_bytes(installer, {'x'});
  std::filesystem::remove_all(documents);
}

BlockedInstallerFolder::~BlockedInstallerFolder() {
  std::filesystem::remove_all(installer);  // a link that a test put there, not where it leads
  if (std::filesystem::exists(installer + ".saved")) std::filesystem::rename(installer + ".saved", installer);
  std::filesystem::remove_all(documents);
}

std::string run_in_prefix(const std::vector<std::string>& args) {
  std::vector<std::string> argv = wine_run();
  argv.insert(argv.end(), args.begin(), args.end());
  return msiboot_test::run_process(argv, kWineStartAllowanceMs).out;
}

ScopedVariable::ScopedVariable(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    old_ = old;
    had_old_ = true;
  }
  setenv(name, value.c_str(), 1);
}

ScopedVariable::~ScopedVariable() {
  if (had_old_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

std::string recorder_log_path() { return prefix_path("C:\\msiboot-recorder.log"); }

// wine runs its own msiexec.exe whatever file lies in its place unless told to prefer the file.
InstallerRecorder::InstallerRecorder(int exit_code)
    : installed_(prefix_path("C:\\windows\\system32\\msiexec.exe")),
      saved_(installed_ + ".saved"),
      exit_code_("MSIBOOT_RECORDER_EXIT", std::to_string(exit_code)),
      overrides_("WINEDLLOVERRIDES", "mscoree,mshtml=;msiexec.exe=n") {
  ensure_prefix();
  std::filesystem::remove(recorder_log_path());
  if (!std::filesystem::exists(saved_)) std::filesystem::rename(installed_, saved_);
  std::filesystem::copy_file(MSIBOOT_RECORDER, installed_,
                             std::filesystem::copy_options::overwrite_existing);
}

InstallerRecorder::~InstallerRecorder() {
  std::filesystem::rename(saved_, installed_);
  std::filesystem::remove(recorder_log_path());
}

std::vector<std::string> InstallerRecorder::command_lines() const { return values("command"); }

std::vector<std::string> InstallerRecorder::values(const std::string& name) const {
  const std::string prefix = name + "=";
  std::vector<std::string> lines;
  std::vector<uint8_t> bytes = read_if_present(recorder_log_path());
  std::istringstream log(std::string(bytes.begin(), bytes.end()));
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (starts_with(line, prefix.c_str())) lines.push_back(line.substr(prefix.size()));
  }
  return lines;
}
