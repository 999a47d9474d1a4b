#pragma once
// Output written to a temporary file beside its final path and renamed into place only when whole,
// so that a failed command leaves no output file behind.
#include <cstdint>
#include <string>
#include <vector>

namespace msiboot_tool {

class OutputFile {
 public:
  // Creates the temporary file; throws std::runtime_error naming path when it cannot.
  explicit OutputFile(const std::string& path);
  // Removes the temporary file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const uint8_t* bytes, size_t length);
  void write(const std::vector<uint8_t>& bytes) { write(bytes.data(), bytes.size()); }
  // Gives the file the usual permissions of a program (0777 less the umask), closes it and
  // renames it to the final path.
  void commit();

 private:
  [[noreturn]] void fail(const char* what);
  std::string path_, temporary_;
  int fd_ = -1;
};

// A folder made whole under a temporary name beside path, then renamed to path, which must not
// exist or be an empty folder.
class OutputFolder {
 public:
  explicit OutputFolder(const std::string& path);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Writes a new file name (a plain file name) into the folder.
  void add(const std::string& name, const std::vector<uint8_t>& bytes);
  void commit();

 private:
  std::string path_, temporary_;
  bool committed_ = false;
};

}  // namespace msiboot_tool
