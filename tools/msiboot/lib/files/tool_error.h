#pragma once
// The one error the tool raises: its kind, the file it is about (when one is known) and the
// reason, as data. what() is the line the user reads, "FILE: REASON"; code that decides anything
// about an error reads the fields, never that text.
#include <stdexcept>
#include <string>

namespace msiboot_tool {

enum class ErrorKind {
  File,         // a file cannot be read or written, or is not what it must be
  CommandLine,  // a value given on the command line is not one the tool takes
};

class ToolError : public std::runtime_error {
 public:
  explicit ToolError(std::string reason, ErrorKind kind = ErrorKind::File);
  ToolError(std::string file, std::string reason, ErrorKind kind = ErrorKind::File);

  ErrorKind kind() const { return kind_; }
  const std::string& file() const { return file_; }
  const std::string& reason() const { return reason_; }
  // The same error about file, unless it names one already.
  ToolError about(const std::string& file) const;

 private:
  ErrorKind kind_;
  std::string file_, reason_;
};

// "file", "command line": the kind as inspect's JSON names it.
const char* error_kind_name(ErrorKind kind);

// Runs work; a ToolError from it that names no file is rethrown about file, and so is any other
// exception (a library's), its text the reason.
template <typename Work>
auto about_file(const std::string& file, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const ToolError& error) {
    throw error.about(file);
  } catch (const std::exception& error) {
    throw ToolError(file, error.what());
  }
}

}  // namespace msiboot_tool
