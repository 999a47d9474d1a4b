#pragma once
// Runs Windows programs under wine for the end-to-end tests: the built stub (copied, with
// payload bytes appended) is started by the robot, whose transcript says which boxes and windows
// appeared, which buttons were pressed and how the program ended.
#include <cstdint>
#include <string>
#include <vector>

#include "bundle.h"
#include "test_keys.h"

// String 101 of the stub, the text of every failure box (the stub's resource test pins it).
constexpr char kCorruptText[] =
    "The installation file is either corrupted or does not support your processor architecture.";

struct RobotBox {
  std::string caption, text;
};

struct RobotWindow {
  std::string class_name, caption;
  std::vector<std::string> icon_colours;  // seen at its caption icon's centre, as RRGGBB
};

struct RobotBrowser {
  std::string caption, title;
};

struct RobotProgress {
  int pos = 0, max = 0;
};

struct RobotRun {
  int exit_code = -1;  // the program's exit code, whole (an NTSTATUS reads negative)
  bool timed_out = false;
  std::vector<RobotBox> boxes;
  std::vector<RobotBrowser> browsers;    // folder browsers, in order
  std::vector<RobotWindow> windows;      // the other top-level windows, in order
  std::vector<std::string> presses;      // "OK", "Retry", ... or "missing Retry"
  std::vector<RobotProgress> progress;   // each change seen on a window's progress bar
  std::string transcript;                // the robot's whole output, for failure messages
};

// Work folder of this test program (MSIBOOT_WORK_DIR), created on first use.
std::string e2e_work_dir();

// Writes the built stub (MSIBOOT_STUB, or the stub program given) followed by `appended` into the
// work folder under file_name; returns the Linux path.
std::string make_stub_copy(const std::string& file_name, const std::vector<uint8_t>& appended = {},
                           const std::string& stub = MSIBOOT_STUB);

// Runs exe (a Linux path, or a path already in wine's form) under the robot in the shared prefix
// through cmake/wine-run. presses name the buttons for the boxes in order (OK after the list
// runs out); the robot ends the program after timeout_ms.
RobotRun run_under_robot(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& presses = {}, int timeout_ms = 60000);

// The same run, but the program is started suspended, renamed to exe.started and replaced by a
// copy of replacement (a Linux path) before it runs: a bundle swapped in while it starts.
RobotRun run_swapped_under_robot(const std::string& exe, const std::string& replacement,
                                 const std::vector<std::string>& args);

// Runs every exe in turn under one robot (one wine start for all of them), without arguments;
// after run i every path of `collect` (wine's form) that exists is renamed to path.i. Returns the
// runs in order.
std::vector<RobotRun> run_batch_under_robot(const std::vector<std::string>& exes,
                                            const std::vector<std::string>& collect,
                                            int timeout_ms = 60000);

// Creates the shared prefix if it does not exist yet, for tests that change it before a run.
void ensure_prefix();

// While it lives, the harness (runs, prefix paths, programs run in the prefix, the installer
// recorder) works in a second prefix left as wine makes it: its user's Documents, Desktop and
// Downloads are links to the home folder, as users have them (the shared prefix replaces them by
// folders). The home folder is home(), in the build tree.
class DefaultLayoutPrefix {
 public:
  DefaultLayoutPrefix();
  ~DefaultLayoutPrefix();
  DefaultLayoutPrefix(const DefaultLayoutPrefix&) = delete;
  DefaultLayoutPrefix& operator=(const DefaultLayoutPrefix&) = delete;

  // The Linux home folder the prefix's shell folders link to.
  static std::string home();
};

// The Linux path of a path inside the prefix's drive C: ("C:\\windows\\Installer" reads
// <prefix>/drive_c/windows/Installer).
std::string prefix_path(const std::string& windows_path);

// Reads a file of the prefix (a Linux path); empty when it is missing.
std::vector<uint8_t> read_if_present(const std::string& path);

// A signed container whose manifest names one x86 package, which the x64 stub never chooses
// (code 13 once the container is found), and that package's record.
std::vector<uint8_t> x86_only_container(
    msiboot_test::RecordFault manifest_fault = msiboot_test::RecordFault::None,
    msiboot_test::RecordFault file_fault = msiboot_test::RecordFault::None);

// Checks that the run ended with exit_code after exactly one failure box (string 101, in English
// unless text is another language's), whose caption is `caption` unless that is empty.
void expect_failure_box(const RobotRun& run, int exit_code, const std::string& caption = {},
                        const std::string& text = kCorruptText);

// A package built by scripts/sample-msi into the work folder's sample-<language> (with options,
// sample-<language>-<code>): labelled x64, its folder the product code, its cabinet sample.cab
// where it has one; and the readme.txt it installs under Program Files\<name>. options go to
// sample-msi (--arch x86, --media embedded, --reboot yes).
struct Sample {
  std::string language, code, name, dir;
  BundlePackage package;
  std::vector<uint8_t> readme;
};
Sample sample_package(const std::string& language, const std::string& product_code, const std::string& name,
                      const std::string& text, const std::vector<std::string>& options = {});

// True when the sample is registered in the 64-bit view and its readme is installed.
bool installed(const Sample& sample);

// The Linux path of a product folder in the prefix's Installer folder, where the stub writes.
std::string installer_folder(const std::string& folder);

// True when the product has a non-empty UninstallString in the registry view ("/reg:64", "/reg:32").
bool product_registered(const std::string& code, const char* view = "/reg:64");

// Uninstalls the product when it is registered in the view, and removes its Installer folder.
void remove_product(const std::string& code, const char* view = "/reg:64");

// Checks that folder holds the package's main.msi and each of its cabinets, byte for byte.
void expect_items_in(const std::string& folder, const BundlePackage& package);

// The Linux path of the prefix user's folder under C:\users.
std::string user_folder();

// While it lives, a regular file stands in the place of the prefix's Installer folder, so that the
// stub cannot write there and offers the folder browser; afterwards whatever stands there goes,
// the folder comes back and the product folder under the user's Documents is removed.
class BlockedInstallerFolder {
 public:
  explicit BlockedInstallerFolder(const std::string& product_folder);
  ~BlockedInstallerFolder();
  BlockedInstallerFolder(const BlockedInstallerFolder&) = delete;
  BlockedInstallerFolder& operator=(const BlockedInstallerFolder&) = delete;

  const std::string installer, documents;  // Linux paths: the Installer folder, Documents\<product>
};

// Runs a command in the shared prefix (wine's own programs: "reg", "msiexec") and returns its
// output.
std::string run_in_prefix(const std::vector<std::string>& args);

// Sets an environment variable for the runs started while it lives, then puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::string name_, old_;
  bool had_old_ = false;
};

// The log every copy of the installer recorder appends to, as a Linux path.
std::string recorder_log_path();

// While it lives, the installer recorder stands in for C:\windows\system32\msiexec.exe and ends
// with exit_code; the prefix's own msiexec.exe is put back afterwards.
class InstallerRecorder {
 public:
  explicit InstallerRecorder(int exit_code);
  ~InstallerRecorder();
  InstallerRecorder(const InstallerRecorder&) = delete;
  InstallerRecorder& operator=(const InstallerRecorder&) = delete;

  // The recorded command lines, in order.
  std::vector<std::string> command_lines() const;
  // What follows "name=" on each log line that starts so, in order.
  std::vector<std::string> values(const std::string& name) const;

 private:
  std::string installed_, saved_;
  ScopedVariable exit_code_, overrides_;
};
