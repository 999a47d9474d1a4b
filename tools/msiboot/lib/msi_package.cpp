#include "msi_package.h"

#include <libmsi.h>

#include <memory>
#include <stdexcept>

namespace msiboot_tool {
namespace {

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

[[noreturn]] void fail(const std::string& path, const std::string& what, GError* error) {
  std::string detail = error != nullptr ? std::string(" (") + error->message + ")" : std::string();
  if (error != nullptr) g_error_free(error);
  throw std::runtime_error(path + ": " + what + detail);
}

// Every row's first column of a query, as text; null values are skipped.
std::vector<std::string> query_strings(LibmsiDatabase* database, const std::string& path,
                                       const char* sql) {
  GError* error = nullptr;
  GObjectPtr<LibmsiQuery> query(libmsi_query_new(database, sql, &error));
  if (!query || !libmsi_query_execute(query.get(), nullptr, &error)) {
    fail(path, std::string("cannot run ") + sql, error);
  }
  std::vector<std::string> values;
  while (GObjectPtr<LibmsiRecord> record{libmsi_query_fetch(query.get(), nullptr)}) {
    if (libmsi_record_is_null(record.get(), 1)) continue;
    gchar* text = libmsi_record_get_string(record.get(), 1);
    if (text != nullptr) values.emplace_back(text);
    g_free(text);
  }
  return values;
}

std::string property(LibmsiDatabase* database, const std::string& path, const char* name) {
  std::vector<std::string> values = query_strings(
      database, path, (std::string("SELECT `Value` FROM `Property` WHERE `Property` = '") + name + "'").c_str());
  if (values.empty() || values[0].empty()) fail(path, std::string("has no ") + name, nullptr);
  return values[0];
}

// "x64;1033,1049": the platform before the ';' (empty for 32-bit Intel), languages after it.
void read_template(LibmsiDatabase* database, MsiPackage& package) {
  GError* error = nullptr;
  GObjectPtr<LibmsiSummaryInfo> summary(libmsi_summary_info_new(database, 0, &error));
  if (!summary) fail(package.path, "has no summary information", error);
  const gchar* text = libmsi_summary_info_get_string(summary.get(), LIBMSI_PROPERTY_TEMPLATE, nullptr);
  std::string value = text != nullptr ? text : "";
  size_t split = value.find(';');
  if (split == std::string::npos) fail(package.path, "its summary Template \"" + value + "\" names no languages", nullptr);
  std::string platform = value.substr(0, split);
  package.architecture = platform.empty() ? "Intel" : platform == "AMD64" ? "x64" : platform;
  package.languages = value.substr(split + 1);
  for (char& c : package.languages) c = c == ',' ? ';' : c;
}

// libmsi logs its complaints on stderr as well as returning them; the tool reports each failure
// once, in its own one-line error.
void quiet_glib_log(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

}  // namespace

MsiPackage read_msi_package(const std::string& path) {
  g_log_set_default_handler(quiet_glib_log, nullptr);
  GError* error = nullptr;
  GObjectPtr<LibmsiDatabase> database(
      libmsi_database_new(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &error));
  if (!database) fail(path, "not a Windows Installer package", error);
  MsiPackage package;
  package.path = path;
  package.product_code = property(database.get(), path, "ProductCode");
  package.product_name = property(database.get(), path, "ProductName");
  read_template(database.get(), package);
  // Cabinets named with '#' are streams inside the package; the others lie beside it.
  for (const std::string& cabinet :
       query_strings(database.get(), path, "SELECT `Cabinet` FROM `Media` ORDER BY `DiskId`")) {
    if (!cabinet.empty() && cabinet[0] != '#') package.cabinets.push_back(cabinet);
  }
  return package;
}

}  // namespace msiboot_tool
