#include "commands/inspect_command.h"

#include <cstdio>

#include "files/tool_error.h"
#include "inspect/json_report.h"
#include "inspect/text_report.h"

namespace msiboot_tool {
namespace {

int inspect(const InspectOptions& options) {
  const SetupModel model = inspect_setup(options);
  if (options.json) {
    std::printf("%s\n", render_json(model).dump(2).c_str());
  } else {
    std::fputs(render_text(model).c_str(), stdout);
  }
  int status = exit_status(model, options.strict);
  std::vector<Finding> counted;
  for (const Finding& f : model.findings) {
    if (options.strict || !f.warning) counted.push_back(f);
  }
  if (status != 0) {
    std::string more = counted.size() > 1 ? " (and " + std::to_string(counted.size() - 1) + " more)" : "";
    std::fprintf(stderr, "msiboot inspect: %s: %s%s\n", options.setup.c_str(), counted.front().text.c_str(),
                 more.c_str());
  }
  return status;
}

}  // namespace

int inspect_command(const InspectOptions& options) {
  try {
    return inspect(options);
  } catch (const ToolError& e) {
    if (options.json) std::printf("%s\n", error_document(options.setup, error_kind_name(e.kind()), e.what()).c_str());
    throw;
  } catch (const std::exception& e) {
    if (options.json) std::printf("%s\n", error_document(options.setup, "file", e.what()).c_str());
    throw;
  }
}

}  // namespace msiboot_tool
