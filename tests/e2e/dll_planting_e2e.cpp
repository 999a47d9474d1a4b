// A setup.exe in a folder where someone left DLLs named after system ones, wine told to prefer
// them (as Windows does for every DLL that is not a KnownDLL): the stub installs as usual, through
// the folder browser (the Installer folder unusable) and the progress window, and loads none of
// them.
#include <gtest/gtest.h>

#include <filesystem>

#include "wine_harness.h"

namespace {

// The non-KnownDLLs the stub imported once, the DLLs it preloads, and every DLL that a run through
// the browser and the progress window loads and a program doing nothing with the stub's imports
// does not (seen with WINEDEBUG=+loaddll: wine's comctl32 delay-loads msimg32 when the browser
// opens). wine has no cryptbase, profapi or ntmarta: planted all the same, they show the preload
// never looks beside the program. version.dll is left out: wine's own user32 imports it, so wine
// loads a planted one into every program before its first instruction (on Windows user32 is a
// KnownDLL without that import).
constexpr const char* kPlanted[] = {
    "crypt32",  "comctl32", "uxtheme", "dwmapi",  "cryptbase", "cryptsp",  "rsaenh",
    "userenv",  "propsys",  "profapi", "msasn1",  "wintrust",  "apphelp",  "ntmarta",
    "oleacc",   "sspicli",  "bcrypt",  "msimg32", "explorerframe", "oleaut32"};
constexpr char kFolder[] = "{3C6F0B2A-9E41-4D7B-8A15-6F2E0C9D4B71}";
constexpr char kMarkerLog[] = "C:\\msiboot-marker.log";

TEST(DllPlantingE2e, NoDllBesideSetupIsLoaded) {
  const BundlePackage package = {"x64", "1033", kFolder, "Planting", incompressible_bytes(4096, 1),
                                 {{"data1.cab", incompressible_bytes(4096, 2)}}};
  BlockedInstallerFolder blocked(kFolder);  // so that the browser opens
  const std::string setup = make_stub_copy("setup.exe", bundle_container({package}));
  std::string names = "mscoree,mshtml=;msiexec.exe=n;";
  for (const char* name : kPlanted) {
    std::filesystem::copy_file(MSIBOOT_MARKER_DLL, e2e_work_dir() + "/" + name + ".dll",
                               std::filesystem::copy_options::overwrite_existing);
    names += name + std::string(",");
  }
  names.back() = '=';
  InstallerRecorder recorder(0);
  ScopedVariable prefer("WINEDLLOVERRIDES", names + "n,b");
  ScopedVariable log("MSIBOOT_MARKER_LOG", kMarkerLog);
  std::filesystem::remove(prefix_path(kMarkerLog));
  RobotRun run = run_under_robot(setup, {}, {"OK"});

  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_EQ(run.browsers.size(), 1u) << run.transcript;
  ASSERT_EQ(run.windows.size(), 1u) << run.transcript;
  EXPECT_EQ(run.windows[0].class_name, "MSI_STUB_WINDOW_CLASS_NAME");
  EXPECT_FALSE(run.progress.empty()) << run.transcript;
  EXPECT_EQ(recorder.command_lines().size(), 1u);
  const std::vector<uint8_t> loaded = read_if_present(prefix_path(kMarkerLog));
  EXPECT_EQ(std::string(loaded.begin(), loaded.end()), "");
}

}  // namespace
