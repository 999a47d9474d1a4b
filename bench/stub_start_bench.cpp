// Time from the stub's start to the installer's start, and the stub's peak memory, on a bundle
// with a 100 MB incompressible cabinet, under wine; beside it the same files extracted by an
// installer made with makensis (zlib, silent) up to its first action after extraction. The
// installer recorder stands in for msiexec.exe and notes when it starts, when the program that
// started it began, and that program's peak working set.
//
// Prints both, their ratio, and the floor that writing one 512 KiB chunk per timer tick sets.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bundle.h"
#include "files/file_bytes.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kCabinetSize = 100u << 20;
constexpr size_t kPackageSize = 300u << 10;
constexpr size_t kChunk = 512u << 10;
constexpr char kFolder[] = "{B0A7C3D2-4E5F-4A6B-8C7D-9E0F1A2B3C4D}";
const std::string kPrefix = MSIBOOT_BENCH_WORK "/wineprefix";

std::string run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

std::string in_wine(const std::string& args) {
  return run(std::string(MSIBOOT_WINE_RUN) + " --prefix '" + kPrefix + "' " + args + " 2>/dev/null");
}

std::string windows_path(const std::string& linux_path) {
  std::string path = "Z:" + linux_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string drive_c(const std::string& rest) { return kPrefix + "/drive_c/" + rest; }

struct Launch {
  double seconds = NAN;  // from the starting program's creation to the recorder's start
  double peak_mb = NAN;
};

// Runs exe and reads what the recorder noted about the program that started it.
Launch timed_launch(const std::string& exe) {
  const std::string log = drive_c("bench-recorder.log");
  fs::remove(log);
  fs::remove_all(drive_c("windows/Installer/") + kFolder);
  in_wine("'" + windows_path(exe) + "' /qn");
  std::ifstream in(log);
  std::map<std::string, double> values;
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos && line.compare(0, 7, "command") != 0) {
      values[line.substr(0, eq)] = std::atof(line.c_str() + eq + 1);
    }
  }
  Launch launch;
  if (values.count("started") && values.count("parent_started")) {
    launch.seconds = (values["started"] - values["parent_started"]) / 1e7;
  }
  if (values.count("parent_peak")) launch.peak_mb = values["parent_peak"] / 1e6;
  return launch;
}

Launch best_of(int runs, const std::string& exe) {
  Launch best;
  for (int i = 0; i < runs; ++i) {
    Launch l = timed_launch(exe);
    if (std::isnan(best.seconds) || l.seconds < best.seconds) best.seconds = l.seconds;
    if (std::isnan(best.peak_mb) || l.peak_mb > best.peak_mb) best.peak_mb = l.peak_mb;
  }
  return best;
}

std::string write_setup(const std::string& name, const std::vector<BundleFile>& cabinets,
                        const std::vector<uint8_t>& msi) {
  std::vector<uint8_t> bytes = msiboot_tool::read_file_bytes(MSIBOOT_STUB);
  std::vector<uint8_t> container =
      bundle_container({{"x64", "1033", kFolder, "Benchmark", msi, cabinets}});
  bytes.insert(bytes.end(), container.begin(), container.end());
  const std::string path = MSIBOOT_BENCH_WORK "/" + name;
  msiboot_test::write_file_bytes(path, bytes);
  return path;
}

// The same two files in an installer made by makensis, which runs the recorder once they are out.
std::string write_nsis_installer(const std::vector<uint8_t>& msi, const std::vector<uint8_t>& cab) {
  const std::string dir = MSIBOOT_BENCH_WORK "/nsis";
  fs::create_directories(dir);
  msiboot_test::write_file_bytes(dir + "/main.msi", msi);
  msiboot_test::write_file_bytes(dir + "/data1.cab", cab);
  std::ofstream(dir + "/bench.nsi") << "Unicode true\n"
                                       "Target amd64-unicode\n"
                                       "SetCompressor zlib\n"
                                       "SilentInstall silent\n"
                                       "RequestExecutionLevel user\n"
                                       "OutFile setup-nsis.exe\n"
                                       "Section\n"
                                       "  SetOutPath \"$WINDIR\\Installer\\" << kFolder << "\"\n"
                                       "  File main.msi\n"
                                       "  File data1.cab\n"
                                       "  ExecWait '\"$SYSDIR\\msiexec.exe\"'\n"
                                       "SectionEnd\n";
  run("cd '" + dir + "' && makensis -V1 bench.nsi >/dev/null");
  return dir + "/setup-nsis.exe";
}

}  // namespace

int main() {
  fs::create_directories(MSIBOOT_BENCH_WORK);
  setenv("MSIBOOT_RECORDER_EXIT", "0", 1);
  setenv("MSIBOOT_RECORDER_LOG", "C:\\bench-recorder.log", 1);
  setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;msiexec.exe=n", 1);
  in_wine("cmd /c exit");  // creates the prefix
  const std::string installer = drive_c("windows/system32/msiexec.exe");
  if (!fs::exists(installer + ".saved")) fs::rename(installer, installer + ".saved");
  fs::copy_file(MSIBOOT_RECORDER, installer, fs::copy_options::overwrite_existing);

  const std::vector<uint8_t> msi = incompressible_bytes(kPackageSize, 1);
  const std::vector<uint8_t> cab = incompressible_bytes(kCabinetSize, 2);
  const std::string tiny = write_setup("setup-tiny.exe", {}, incompressible_bytes(4096, 3));
  const std::string big = write_setup("setup.exe", {{"data1.cab", cab}}, msi);
  const std::string nsis = write_nsis_installer(msi, cab);

  const double tick = std::atof(in_wine("'" + windows_path(MSIBOOT_RECORDER) + "' --tick 200").c_str());
  const size_t chunks = (kPackageSize + kChunk - 1) / kChunk + (kCabinetSize + kChunk - 1) / kChunk;
  const double floor_s = static_cast<double>(chunks) * tick / 1000.0;
  std::istringstream timing(in_wine("'" + windows_path(MSIBOOT_PAYLOAD_TIMING) + "' '" +
                                    windows_path(big) + "'"));
  std::map<std::string, double> ms;
  for (std::string name; timing >> name;) timing >> ms[name];
  const double work_s = (ms["read"] + ms["discover"] + ms["choose"]) / 1000.0;

  Launch empty = best_of(2, tiny);
  Launch stub = best_of(3, big);
  Launch peer = best_of(3, nsis);
  fs::rename(installer + ".saved", installer);

  const double payload_mb = static_cast<double>(kPackageSize + kCabinetSize) / 1e6;
  std::printf("payload                          %.1f MB incompressible, %zu chunks of 512 KiB\n",
              payload_mb, chunks);
  std::printf("timer tick under wine            %.2f ms: writing floor %.2f s\n", tick, floor_s);
  std::printf("reading, inflating, verifying    %.2f s (read %.0f ms, manifest %.0f ms, items %.0f ms)\n",
              work_s, ms["read"], ms["discover"], ms["choose"]);
  std::printf("stub, start to installer         %.2f s, peak %.0f MB\n", stub.seconds, stub.peak_mb);
  std::printf("stub on a 4 KB bundle            %.2f s, peak %.0f MB\n", empty.seconds, empty.peak_mb);
  std::printf("makensis installer, same files   %.2f s, peak %.0f MB\n", peer.seconds, peer.peak_mb);
  std::printf("ratio stub / makensis            %.2f\n", stub.seconds / peer.seconds);
  std::printf("ratio stub / (floor + work + start-up)  %.2f (target 1.10)\n",
              stub.seconds / (floor_s + work_s + empty.seconds));
  std::printf("peak / (2 x payload + own)       %.2f (target 1.00)\n",
              stub.peak_mb / (2 * payload_mb + empty.peak_mb));
  return 0;
}
