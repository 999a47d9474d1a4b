#include "packages/msi_query.h"

namespace msiboot_tool {

std::vector<GObjectPtr<LibmsiRecord>> query_rows(LibmsiDatabase* database, const char* sql) {
  std::vector<GObjectPtr<LibmsiRecord>> rows;
  GObjectPtr<LibmsiQuery> query(libmsi_query_new(database, sql, nullptr));
  if (!query || !libmsi_query_execute(query.get(), nullptr, nullptr)) return rows;
  while (LibmsiRecord* record = libmsi_query_fetch(query.get(), nullptr)) rows.emplace_back(record);
  return rows;
}

std::string text_of(LibmsiRecord* record, unsigned field) {
  if (libmsi_record_is_null(record, field)) return "";
  gchar* text = libmsi_record_get_string(record, field);
  std::string value = text != nullptr ? text : "";
  g_free(text);
  return value;
}

}  // namespace msiboot_tool
