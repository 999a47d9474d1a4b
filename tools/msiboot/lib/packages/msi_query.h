#pragma once
// Reading a package's tables with libmsi: owning pointers for its objects, the rows of a query
// and a field's text, for every reader of packages.
#include <libmsi.h>

#include <memory>
#include <string>
#include <vector>

namespace msiboot_tool {

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// The rows of a query, or none when it cannot run (a table the package does not have).
std::vector<GObjectPtr<LibmsiRecord>> query_rows(LibmsiDatabase* database, const char* sql);

// A field as text; empty when it is null.
std::string text_of(LibmsiRecord* record, unsigned field);

}  // namespace msiboot_tool
