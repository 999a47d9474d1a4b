#include "inspect_report.h"

#include <cstdio>

namespace msiboot_tool {

InspectReport::InspectReport(const std::string& file) : json_({{"file", file}}), text_(file + "\n") {}

void InspectReport::add(const std::string& name, ReportJson value, const std::string& text) {
  json_[name] = std::move(value);
  text_ += text;
}

void InspectReport::need_publisher(const std::string& section, const std::string& text) {
  findings_.push_back({section, text});
}

void InspectReport::print(bool as_json) const {
  if (as_json) {
    ReportJson document = json_;
    ReportJson findings = ReportJson::array();
    for (const Finding& f : findings_) findings.push_back({{"section", f.section}, {"text", f.text}});
    document["findings"] = findings;
    document["exit_status"] = exit_status();
    std::printf("%s\n", document.dump(2).c_str());
    return;
  }
  std::string text = text_;
  text += findings_.empty() ? "  nothing needs the publisher\n" : "  needs the publisher:\n";
  for (const Finding& f : findings_) text += "    - " + f.text + "\n";
  std::fputs(text.c_str(), stdout);
}

std::string error_document(const std::string& file, const std::string& kind, const std::string& message) {
  ReportJson document;
  if (!file.empty()) document["file"] = file;
  document["error"] = {{"kind", kind}, {"message", message}};
  return document.dump(2);
}

}  // namespace msiboot_tool
