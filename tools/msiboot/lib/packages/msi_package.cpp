#include "packages/msi_package.h"

#include <fcntl.h>
#include <unistd.h>
#include <libmsi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "files/tool_error.h"
#include "packages/installer_file_kind.h"
#include "packages/msi_query.h"

namespace msiboot_tool {
const MsiMedia* media_of(const MsiPackage& package, int sequence) {
  auto in = std::find_if(package.media.begin(), package.media.end(),
                         [sequence](const MsiMedia& m) { return sequence <= m.last_sequence; });
  return in == package.media.end() ? nullptr : &*in;
}

namespace {

// Summary Word Count bit: files are compressed (in cabinets) unless a file says otherwise.
constexpr int kWordCountCompressed = 2;
// File table Attributes bits that override the Word Count for one file.
constexpr int kFileNoncompressed = 0x2000;
constexpr int kFileCompressed = 0x4000;

[[noreturn]] void fail(const std::string& path, const std::string& what, GError* error) {
  std::string detail = error != nullptr ? std::string(" (") + error->message + ")" : std::string();
  if (error != nullptr) g_error_free(error);
  throw ToolError(path, what + detail);
}

std::string property(LibmsiDatabase* database, const char* name) {
  auto rows = query_rows(
      database, (std::string("SELECT `Value` FROM `Property` WHERE `Property` = '") + name + "'").c_str());
  return rows.empty() ? "" : text_of(rows[0].get(), 1);
}

// Files outside cabinets: not compressed (by the Word Count or their own attributes), or in a
// Media row that names no cabinet (or in none at all). The others are the cabinets' files.
void read_files(LibmsiDatabase* database, int word_count, MsiPackage& package) {
  for (auto& row : query_rows(database, "SELECT `LastSequence`, `Cabinet` FROM `Media`")) {
    package.media.push_back({libmsi_record_get_int(row.get(), 1), text_of(row.get(), 2)});
  }
  std::sort(package.media.begin(), package.media.end(),
            [](const MsiMedia& a, const MsiMedia& b) { return a.last_sequence < b.last_sequence; });
  int first_loose = 0;
  for (auto& row : query_rows(database, "SELECT `FileName`, `Attributes`, `Sequence`, `File`, `FileSize` FROM `File`")) {
    int attributes = libmsi_record_is_null(row.get(), 2) ? 0 : libmsi_record_get_int(row.get(), 2);
    int sequence = libmsi_record_get_int(row.get(), 3);
    bool compressed = (attributes & kFileCompressed) != 0 ||
                      ((word_count & kWordCountCompressed) != 0 && (attributes & kFileNoncompressed) == 0);
    const MsiMedia* in = media_of(package, sequence);
    if (compressed && in != nullptr && !in->cabinet.empty()) {
      package.files.push_back({text_of(row.get(), 4), static_cast<uint32_t>(libmsi_record_get_int(row.get(), 5)), sequence});
      continue;
    }
    std::string name = text_of(row.get(), 1);  // "SHORT~1.TXT|long name.txt"
    if (package.loose_files++ == 0 || sequence < first_loose) {
      first_loose = sequence;
      package.first_loose_file = name.substr(name.find('|') + 1);
    }
  }
  std::sort(package.files.begin(), package.files.end(),
            [](const MsiFile& a, const MsiFile& b) { return a.sequence < b.sequence; });
}

// The contents of the cabinets stored in the package, read while the database is open.
void read_embedded_cabinets(LibmsiDatabase* database, MsiPackage& package) {
  for (const MsiMedia& media : package.media) {
    if (media.cabinet.empty() || media.cabinet[0] != '#') continue;
    std::string name = media.cabinet.substr(1);
    auto rows = query_rows(database, ("SELECT `Data` FROM `_Streams` WHERE `Name` = '" + name + "'").c_str());
    GObjectPtr<GInputStream> stream(rows.empty() ? nullptr : libmsi_record_get_stream(rows[0].get(), 1));
    CabinetListing listing;
    if (stream) {
      listing = list_cabinet(stream.get());
    } else {
      listing.problem = "the package holds no stream " + name;
    }
    package.embedded.emplace(media.cabinet, std::move(listing));
  }
}

void read_summary(LibmsiDatabase* database, MsiPackage& package, int* word_count) {
  GObjectPtr<LibmsiSummaryInfo> summary(libmsi_summary_info_new(database, 0, nullptr));
  if (!summary) return;
  const gchar* text = libmsi_summary_info_get_string(summary.get(), LIBMSI_PROPERTY_TEMPLATE, nullptr);
  if (text != nullptr) package.template_text = text;
  *word_count = libmsi_summary_info_get_int(summary.get(), LIBMSI_PROPERTY_SOURCE, nullptr);
}

// libmsi logs its complaints on stderr as well as returning them; the tool reports each failure
// once, in its own one-line error.
void quiet_glib_log(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// The system's reason when the file cannot be read at all.
void require_readable(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw ToolError(path, std::string("cannot read it (") + std::strerror(errno) + ")");
  ::close(fd);
}

}  // namespace

MsiPackage read_msi_package(const std::string& path) {
  g_log_set_default_handler(quiet_glib_log, nullptr);
  require_readable(path);
  InstallerFileKind kind = installer_file_kind(path);
  if (kind == InstallerFileKind::Patch || kind == InstallerFileKind::Transform) {
    fail(path, std::string("is ") + installer_file_kind_name(kind) + ", not an installation package", nullptr);
  }
  // A compound file of another class may still be a database some tool wrote carelessly: libmsi
  // decides.
  if (kind == InstallerFileKind::NotCompound) fail(path, "is not a Windows Installer package", nullptr);
  GError* error = nullptr;
  GObjectPtr<LibmsiDatabase> database(
      libmsi_database_new(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &error));
  if (!database) fail(path, "is not a Windows Installer package", error);
  if (!query_rows(database.get(), "SELECT `ModuleID` FROM `ModuleSignature`").empty()) {
    fail(path, "is a merge module (.msm), not an installation package", nullptr);
  }
  MsiPackage package;
  package.path = path;
  package.product_code = property(database.get(), "ProductCode");
  package.product_name = property(database.get(), "ProductName");
  package.product_version = property(database.get(), "ProductVersion");
  int word_count = 0;
  read_summary(database.get(), package, &word_count);
  // Cabinets named with '#' are streams inside the package; the others lie beside it.
  for (auto& row : query_rows(database.get(), "SELECT `Cabinet` FROM `Media` ORDER BY `DiskId`")) {
    std::string cabinet = text_of(row.get(), 1);
    if (!cabinet.empty() && cabinet[0] != '#') package.cabinets.push_back(cabinet);
  }
  read_files(database.get(), word_count, package);
  read_embedded_cabinets(database.get(), package);
  return package;
}

}  // namespace msiboot_tool
