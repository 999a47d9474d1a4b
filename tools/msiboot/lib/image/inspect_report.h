#pragma once
// The report of msiboot inspect: sections, each adding its fields to one JSON document and its
// lines to the text, and the findings that need the publisher, which alone decide the exit
// status.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace msiboot_tool {

using ReportJson = nlohmann::ordered_json;

struct Finding {
  std::string section;  // the report field it is about
  std::string text;     // what is wrong and what to do, in one sentence
};

class InspectReport {
 public:
  explicit InspectReport(const std::string& file);

  // A top-level field of the JSON document, and its lines of text (each ending with a newline).
  void add(const std::string& name, ReportJson value, const std::string& text);
  // Something the publisher must put right: the exit status becomes 1.
  void need_publisher(const std::string& section, const std::string& text);

  // 0 when nothing needs the publisher, else 1.
  int exit_status() const { return findings_.empty() ? 0 : 1; }
  const std::vector<Finding>& findings() const { return findings_; }
  // The text, or the JSON document, on stdout.
  void print(bool as_json) const;

 private:
  ReportJson json_;
  std::string text_;
  std::vector<Finding> findings_;
};

// The JSON document of an inspection that could not be made: the file (when known) and an error
// object with its kind ("file" or "command line") and the one-line message.
std::string error_document(const std::string& file, const std::string& kind, const std::string& message);

}  // namespace msiboot_tool
