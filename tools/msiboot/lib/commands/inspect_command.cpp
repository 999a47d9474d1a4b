#include "inspect_command.h"

#include <cstdio>
#include <stdexcept>

#include "branding_report.h"
#include "inspect_report.h"
#include "payload_section.h"
#include "setup_contents.h"
#include "setup_image.h"

namespace msiboot_tool {
namespace {

int inspect(const InspectOptions& options) {
  SetupImage image(options.setup);
  Bytes key = inspection_key(image, options.setup, options.public_key);
  InspectReport report(options.setup);
  add_payload_sections(report, inspect_setup(image, key, options.lcid), !options.public_key.empty(), options.lcid);
  ShownBranding branding = show_branding(image.bytes());
  report.add("branding", branding.json, branding.text);
  report.print(options.json);
  const std::vector<Finding>& findings = report.findings();
  if (!findings.empty()) {
    std::string more = findings.size() > 1 ? " (and " + std::to_string(findings.size() - 1) + " more)" : "";
    std::fprintf(stderr, "msiboot inspect: %s: %s%s\n", options.setup.c_str(), findings.front().text.c_str(),
                 more.c_str());
  }
  return report.exit_status();
}

}  // namespace

int inspect_command(const InspectOptions& options) {
  try {
    return inspect(options);
  } catch (const std::exception& e) {
    if (options.json) std::printf("%s\n", error_document(options.setup, "file", e.what()).c_str());
    throw;
  }
}

}  // namespace msiboot_tool
