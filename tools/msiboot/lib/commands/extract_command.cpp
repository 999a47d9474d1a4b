#include "commands/extract_command.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "container/manifest_fields.h"
#include "files/output_file.h"
#include "files/quiet_output.h"
#include "files/tool_error.h"
#include "inspect/setup_contents.h"
#include "inspect/setup_image.h"
#include "inspect/status_meaning.h"
#include "shared/ascii_case.h"

namespace msiboot_tool {
namespace {

// A name listed twice holds the same content both times (the stub's choice refuses anything
// else): it is written once, as the stub writes it.
bool written_before(const ItemWriter& writer, int32_t index) {
  for (int32_t i = 0; i < index; ++i) {
    if (equals_ignoring_ascii_case(writer.items[i].name, writer.items[index].name)) return true;
  }
  return false;
}

}  // namespace

void extract_command(const ExtractOptions& options) {
  SetupImage image(options.setup);
  Status status = image.discover(inspection_key(image, options.setup, ""));
  // The items are written from the stub's own item records: each content is held once.
  std::optional<ChosenItems> chosen;
  if (!status_failed(status)) status = chosen.emplace(image.payload(), options.lcid).status();
  if (status_failed(status)) {
    throw ToolError(options.setup, "the stub would install nothing for " + std::to_string(options.lcid) +
                             " (" + status_text(status) + ": " + status_meaning(status).meaning + ")");
  }
  const ItemWriter& writer = chosen->writer();
  OutputFolder folder(options.output);
  for (int32_t i = 0; i < writer.count; ++i) {
    const ExtractItem& item = writer.items[i];
    if (!is_plain_file_name(item.name)) {
      throw ToolError(options.setup, "the item name \"" + std::string(item.name) +
                               "\" is not a plain file name");
    }
    if (!written_before(writer, i)) folder.add(item.name, item.data, item.size);
  }
  folder.commit();
  for (int32_t i = 0; i < writer.count; ++i) {
    if (written_before(writer, i)) continue;
    if (!quiet_output()) std::printf("%s/%s  %u bytes\n", options.output.c_str(), writer.items[i].name, writer.items[i].size);
  }
}

}  // namespace msiboot_tool
