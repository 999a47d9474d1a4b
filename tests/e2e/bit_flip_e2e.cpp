// Single-bit flips over a real setup.exe: the sample packages for 1033 and 1049, each with its
// cabinet, appended to the stub. A run in locale 1033 uses the manifest and the 1033 records: a
// flip there must be refused (string 101, no installer, no item file left). A flip in a 1049
// record, or in the signature that frames a container, may be refused the same way or install
// items identical to the unflipped ones. No flip may crash or hang the stub.
// By default a fixed set of about 200 flips. MSIBOOT_FLIP_SWEEP=full (scripts/bitflip-sweep) flips
// every byte of the manifest record and of every trailer and every 16th byte elsewhere, and then
// sweeps a copy whose container rides in a carrier certificate of the stub's signature.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "payload/container.h"
#include "pe/certificate_table.h"
#include "test_bytes.h"
#include "test_files.h"
#include "test_signing.h"
#include "wine_harness.h"

namespace {

namespace fs = std::filesystem;
using msiboot_tool::get_u32le;

const char kCode[] = "{7E1D5C52-8B3A-4F0E-9D61-2A4C6B8E0F13}";
constexpr uint32_t kUsedIds[] = {1000, 1001};  // the 1033 package and its cabinet
constexpr size_t kBatchSize = 200;             // flipped copies on disk at a time

struct Field {
  std::string name;
  size_t begin, size;
  bool used;  // read by the run: a flip here must be refused
  size_t picks;  // bytes to flip in it, spread evenly (every byte when picks >= size)
  bool data = false;  // a record's zlib stream
};

struct Flip {
  const Field* field;
  size_t offset;
  uint8_t mask;
};

enum Outcome { kRefused, kSilenced, kInstalledIdentical, kOther };

bool full_sweep() {
  const char* mode = std::getenv("MSIBOOT_FLIP_SWEEP");
  return mode != nullptr && std::strcmp(mode, "full") == 0;
}

// Data, signature and trailer of every record of the container that starts at `base` in image,
// walked from its end as the stub walks it.
std::vector<Field> record_fields(const Bytes& image, size_t base, size_t size) {
  const bool full = full_sweep();
  std::vector<Field> fields;
  for (size_t end = base + size; end >= base + kRecordTrailerSize;) {
    const size_t trailer = end - kRecordTrailerSize;
    const bool manifest = std::memcmp(&image[trailer], ManifestRecordType, 16) == 0;
    const uint32_t id = get_u32le(image, trailer + 16);
    const size_t signature = get_u32le(image, trailer + 20), data = get_u32le(image, trailer + 24);
    const bool used = manifest || std::count(std::begin(kUsedIds), std::end(kUsedIds), id) > 0;
    const std::string name = manifest ? "manifest" : "record " + std::to_string(id);
    const size_t data_picks = full ? (manifest ? data : data / 16) : (manifest ? 40 : 16);
    const size_t signature_picks =
        full ? (manifest ? signature : signature / 16) : (manifest ? 16 : 8);
    fields.push_back({name + " trailer", trailer, kRecordTrailerSize, used,
                      full ? kRecordTrailerSize : manifest ? 14 : 10});
    fields.push_back({name + " signature", trailer - signature, signature, used, signature_picks});
    fields.push_back({name + " data", trailer - signature - data, data, used, data_picks, true});
    end = trailer - signature - data;
    if (manifest) break;
  }
  return fields;
}

// Each field's picks spread evenly over it, the flipped bit turning with each pick.
std::vector<Flip> flips_of(const std::vector<Field>& fields) {
  std::vector<Flip> flips;
  for (const Field& field : fields) {
    const size_t picks = std::min(field.picks, field.size);
    for (size_t i = 0; i < picks; ++i) {
      flips.push_back({&field, field.begin + i * field.size / picks,
                       static_cast<uint8_t>(1u << i % 8)});
    }
  }
  return flips;
}

Bytes inflated(const uint8_t* data, size_t size) {
  Bytes out(1 << 20);
  uLongf length = out.size();
  if (uncompress(out.data(), &length, data, size) != Z_OK) return {};
  out.resize(length);
  return out;
}

// A flip in a bit that inflation never reads (the padding after the last deflate block) leaves
// the content, which is what the signature covers, as it was.
bool content_unchanged(const Bytes& image, const Flip& flip) {
  if (!flip.field->data) return false;
  const auto begin = image.begin() + static_cast<ptrdiff_t>(flip.field->begin);
  Bytes flipped(begin, begin + static_cast<ptrdiff_t>(flip.field->size));
  const Bytes before = inflated(flipped.data(), flipped.size());
  flipped[flip.offset - flip.field->begin] ^= flip.mask;
  return !before.empty() && inflated(flipped.data(), flipped.size()) == before;
}

// The codes a process ends with when an exception ends it (access violation, stack overflow,
// heap corruption, breakpoint, abort); the stub's own failure codes, HRESULTs among them, are not.
bool crashed(int exit_code) {
  const uint32_t code = static_cast<uint32_t>(exit_code);
  return code >= 0xC0000000u || code == 0x80000003u || code == 0x40000015u;
}

class BitFlipE2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("LC_ALL");
    english_ = sample_package("1033", kCode, "Msiboot Sample EN", "English sample").package;
    russian_ = sample_package("1049", "{2B7A4E10-5C3D-4F8E-A1B2-C3D4E5F60718}", "Msiboot Sample RU", "Russian sample")
                   .package;
    container_ = bundle_container({english_, russian_});
  }
  void SetUp() override {
    ensure_prefix();
    // A crashing stub must end at once with its exception code, not wait on a crash dialog.
    run_in_prefix({"reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog", "/t",
                   "REG_DWORD", "/d", "0", "/f"});
    clear_collected();
  }
  void TearDown() override { clear_collected(); }

  static std::string items_folder() { return installer_folder(kCode); }

  static void clear_collected() {
    for (const std::string& path : {items_folder(), recorder_log_path()}) {
      const fs::path parent = fs::path(path).parent_path();
      if (!fs::is_directory(parent)) continue;
      for (const fs::directory_entry& entry : fs::directory_iterator(parent)) {
        if (entry.path().string().rfind(path, 0) == 0) fs::remove_all(entry.path());
      }
    }
  }

  // True when the folder holds exactly the unflipped 1033 package and cabinet.
  static bool identical_items(const std::string& folder) {
    if (!fs::is_directory(folder)) return false;
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 2 &&
           read_if_present(folder + "/main.msi") == english_.msi &&
           read_if_present(folder + "/sample.cab") == english_.cabinets[0].content;
  }

  static Outcome classify(const RobotRun& run, size_t index, bool used) {
    const std::string items = items_folder() + "." + std::to_string(index);
    const Bytes bytes = read_if_present(recorder_log_path() + "." + std::to_string(index));
    const std::string log(bytes.begin(), bytes.end());
    size_t launches = 0;
    for (size_t at = log.find("command="); at != std::string::npos;
         at = log.find("command=", at + 1)) {
      ++launches;
    }
    const bool left = fs::exists(items) && !fs::is_empty(items);
    if (run.timed_out || crashed(run.exit_code) || run.exit_code == 0 || launches > 0 || left) {
      const bool installed = !run.timed_out && run.exit_code == 0 && run.boxes.empty();
      return !used && installed && launches == 1 && identical_items(items) ? kInstalledIdentical
                                                                            : kOther;
    }
    if (run.boxes.size() == 1 && run.boxes[0].text == kCorruptText) return kRefused;
    const bool silenced_code = run.exit_code == 1223 || run.exit_code == 29;
    return run.boxes.empty() && silenced_code ? kSilenced : kOther;
  }

  // Runs the unflipped image and then every flip of it, batch by batch; prints the counts and
  // fails on every run that ends in neither accepted way.
  static void sweep(const std::string& name, const Bytes& image, const std::vector<Flip>& flips) {
    InstallerRecorder recorder(0);  // exit 0: the written items stay for the comparison
    const std::string base = e2e_work_dir() + "/unflipped.exe";
    msiboot_test::write_file_bytes(base, image);
    RobotRun baseline = run_batch_under_robot({base}, {items_folder(), recorder_log_path()})[0];
    ASSERT_EQ(classify(baseline, 0, false), kInstalledIdentical) << baseline.transcript;
    clear_collected();

    size_t counts[4] = {};
    std::map<uint32_t, size_t> refused_codes;
    size_t ignored_bits = 0;  // installed: the flip was in a bit inflation ignores
    for (size_t first = 0; first < flips.size(); first += kBatchSize) {
      const size_t count = std::min(kBatchSize, flips.size() - first);
      std::vector<std::string> exes;
      for (size_t i = 0; i < count; ++i) {
        Bytes flipped = image;
        flipped[flips[first + i].offset] ^= flips[first + i].mask;
        exes.push_back(e2e_work_dir() + "/flip-" + std::to_string(i) + ".exe");
        msiboot_test::write_file_bytes(exes.back(), flipped);
      }
      std::vector<RobotRun> runs =
          run_batch_under_robot(exes, {items_folder(), recorder_log_path()}, 20000);
      for (size_t i = 0; i < count; ++i) {
        const Flip& flip = flips[first + i];
        const bool unchanged = content_unchanged(image, flip);
        Outcome outcome = classify(runs[i], i, flip.field->used && !unchanged);
        if (unchanged && outcome == kInstalledIdentical) ++ignored_bits;
        ++counts[outcome];
        if (outcome == kRefused) ++refused_codes[static_cast<uint32_t>(runs[i].exit_code)];
        EXPECT_NE(outcome, kOther)
            << flip.field->name << " byte " << flip.offset - flip.field->begin << " (file offset "
            << flip.offset << ") mask " << int{flip.mask} << ":\n" << runs[i].transcript;
      }
      for (const std::string& exe : exes) fs::remove(exe);
      clear_collected();
    }
    std::string codes;
    for (const auto& [code, n] : refused_codes) {
      char text[32];
      std::snprintf(text, sizeof text, code > 0xFFFF ? "0x%08X: %zu" : "%u: %zu", code, n);
      codes += (codes.empty() ? "" : ", ") + std::string(text);
    }
    std::printf("%s, %zu flips: refused 101: %zu (%s), silenced: %zu, installed identical: %zu "
                "(%zu in bits inflation ignores), other: %zu\n", name.c_str(), flips.size(),
                counts[kRefused], codes.c_str(), counts[kSilenced], counts[kInstalledIdentical],
                ignored_bits, counts[kOther]);
  }

  static inline BundlePackage english_, russian_;
  static inline Bytes container_;
};

TEST_F(BitFlipE2e, EveryFlipIsRefusedOrLeavesTheRunsRecordsIntact) {
  ScopedVariable locale("LANG", "C.UTF-8");
  Bytes image = msiboot_tool::read_file_bytes(MSIBOOT_STUB);
  const size_t base = image.size();
  image.insert(image.end(), container_.begin(), container_.end());
  const std::vector<Field> fields = record_fields(image, base, container_.size());
  ASSERT_EQ(fields.size(), 15u);  // manifest and four file records
  sweep("appended", image, flips_of(fields));
  if (!full_sweep()) return;

  // The container in a carrier certificate: the certificate table and its directory entry frame it.
  Bytes stub = msiboot_test::sign_with_test_signer(msiboot_tool::read_file_bytes(MSIBOOT_STUB));
  Bytes carrier = msiboot_tool::make_carrier_certificate(container_, msiboot_test::load_test_ca());
  Bytes signed_image = msiboot_tool::add_signature_certificates(stub, {carrier});
  const size_t at = std::search(signed_image.begin(), signed_image.end(), container_.begin(),
                                container_.end()) - signed_image.begin();
  const msiboot_tool::CertificateTable table = msiboot_tool::locate_certificate_table(signed_image);
  std::vector<Field> framing = record_fields(signed_image, at, container_.size());
  for (Field& field : framing) field.picks = std::min<size_t>(field.picks, 16);
  framing.push_back({"security directory entry", table.directory_field, 8, false, 8});
  const size_t after = at + container_.size(), end = table.offset + table.size;
  framing.push_back({"certificate table before the container", table.offset, at - table.offset,
                     false, (at - table.offset) / 4});
  framing.push_back({"certificate table after the container", after, end - after, false,
                     (end - after) / 4});
  sweep("in a carrier certificate", signed_image, flips_of(framing));
}

}  // namespace
