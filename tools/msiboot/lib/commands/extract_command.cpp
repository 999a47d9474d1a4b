#include "extract_command.h"

#include <cstdio>
#include <stdexcept>

#include "manifest_fields.h"
#include "output_file.h"
#include "setup_contents.h"

namespace msiboot_tool {

void extract_command(const ExtractOptions& options) {
  SetupReport report = read_setup(options.setup, "", options.lcid);
  if (status_failed(report.choice.status)) {
    throw std::runtime_error(options.setup + ": the stub would install nothing for " +
                             std::to_string(options.lcid) + " (" + status_text(report.choice.status) + ")");
  }
  OutputFolder folder(options.output);
  for (const ItemReport& item : report.choice.items) {
    if (!is_plain_file_name(item.name)) {
      throw std::runtime_error(options.setup + ": the item name \"" + item.name + "\" is not a plain file name");
    }
    folder.add(item.name, item.content);
  }
  folder.commit();
  for (const ItemReport& item : report.choice.items) {
    std::printf("%s/%s  %zu bytes\n", options.output.c_str(), item.name.c_str(), item.content.size());
  }
}

}  // namespace msiboot_tool
