#pragma once
// Output written to a temporary file beside its final path and put into place only when whole,
// so that a failed or interrupted command leaves no output file behind. An output is never a
// command's own input, nor anything but a regular file (a device, a folder or a link is refused).
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

// Throws ToolError naming output when it exists and is not a regular file, or is the
// same file as one of the inputs (also through a link).
void check_output_path(const std::string& output, const std::vector<std::string>& inputs);

class OutputFile {
 public:
  // Checks the path against the inputs and creates the temporary file; throws ToolError
  // naming path when either fails.
  explicit OutputFile(const std::string& path, const std::vector<std::string>& inputs = {});
  // Removes the temporary file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const uint8_t* bytes, size_t length);
  void write(const std::vector<uint8_t>& bytes) { write(bytes.data(), bytes.size()); }
  // Where the bytes written so far lie until the commit, to be read back.
  const std::string& temporary_path() const { return temporary_; }
  // A last pass over what was written: reads it back (fewer bytes at its end), and writes over it.
  size_t read_back(uint64_t offset, uint8_t* bytes, size_t length);
  void write_at(uint64_t offset, const uint8_t* bytes, size_t length);
  // Gives the file its mode (by default the usual one of a program: 0777 less the umask), closes
  // it and puts it at the final path, replacing a regular file there.
  void commit();
  // The same for a file that must not replace anything: fails when the final path exists.
  void commit_new(mode_t mode);
  // Removes a committed file again (keygen writes its two files or neither).
  void remove_committed();

 private:
  [[noreturn]] void fail(const char* what);
  void close_temporary(mode_t mode);
  std::string path_, temporary_;
  int fd_ = -1;
  int slot_ = -1;
};

// A folder made whole under a temporary name beside path, then renamed to path, which must not
// exist or be an empty folder (not a link).
class OutputFolder {
 public:
  explicit OutputFolder(const std::string& path);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Starts a new file name (a plain file name) in the folder, closing the one begun before; its
  // content comes piece by piece through write.
  void begin(const std::string& name);
  void write(const uint8_t* bytes, size_t length);
  void commit();

 private:
  void close_current();
  std::string path_, temporary_;
  std::vector<int> slots_;
  std::string current_;  // the file begun last, while it is open
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace msiboot_tool
