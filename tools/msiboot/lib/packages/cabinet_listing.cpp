#include "packages/cabinet_listing.h"

#include <libgcab.h>

#include "packages/msi_query.h"

namespace msiboot_tool {
namespace {

std::string take_message(GError* error) {
  std::string text = error != nullptr ? error->message : "unreadable";
  if (error != nullptr) g_error_free(error);
  return text;
}

}  // namespace

CabinetListing list_cabinet(GInputStream* stream) {
  CabinetListing listing;
  GObjectPtr<GCabCabinet> cabinet(gcab_cabinet_new());
  GError* error = nullptr;
  if (!gcab_cabinet_load(cabinet.get(), stream, nullptr, &error)) {
    listing.problem = "not a cabinet (" + take_message(error) + ")";
    return listing;
  }
  GPtrArray* folders = gcab_cabinet_get_folders(cabinet.get());
  for (guint i = 0; folders != nullptr && i < folders->len; ++i) {
    GSList* files = gcab_folder_get_files(static_cast<GCabFolder*>(g_ptr_array_index(folders, i)));
    for (GSList* f = files; f != nullptr; f = f->next) {
      auto* file = static_cast<GCabFile*>(f->data);
      listing.files.emplace(gcab_file_get_name(file), gcab_file_get_size(file));
    }
    g_slist_free(files);
  }
  return listing;
}

CabinetListing list_cabinet_file(const std::string& path) {
  GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
  GError* error = nullptr;
  GObjectPtr<GFileInputStream> stream(g_file_read(file.get(), nullptr, &error));
  if (!stream) return {"cannot be read (" + take_message(error) + ")", {}};
  return list_cabinet(G_INPUT_STREAM(stream.get()));
}

}  // namespace msiboot_tool
