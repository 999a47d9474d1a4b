#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace msiboot_tool {
namespace {

std::string reason() { return std::strerror(errno); }

mode_t program_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0777 & ~mask;
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path), temporary_(path + ".tmp-XXXXXX") {
  fd_ = mkstemp(temporary_.data());
  if (fd_ < 0) throw std::runtime_error(path_ + ": cannot create it (" + reason() + ")");
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    close(fd_);
    unlink(temporary_.c_str());
  }
}

void OutputFile::fail(const char* what) {
  throw std::runtime_error(path_ + ": cannot " + what + " it (" + reason() + ")");
}

void OutputFile::write(const uint8_t* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd_, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("write");
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

void OutputFile::commit() {
  if (fchmod(fd_, program_mode()) != 0) fail("write");
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    unlink(temporary_.c_str());
    fail("write");
  }
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    int saved = errno;
    unlink(temporary_.c_str());
    errno = saved;
    fail("create");
  }
}

OutputFolder::OutputFolder(const std::string& path) : path_(path), temporary_(path + ".tmp-XXXXXX") {
  if (mkdtemp(temporary_.data()) == nullptr) {
    throw std::runtime_error(path_ + ": cannot create it (" + reason() + ")");
  }
}

OutputFolder::~OutputFolder() {
  if (committed_) return;
  std::error_code ignored;
  std::filesystem::remove_all(temporary_, ignored);
}

void OutputFolder::add(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::string file = temporary_ + "/" + name;
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  bool written = fd >= 0;
  for (size_t done = 0; written && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  if (fd >= 0 && close(fd) != 0) written = false;
  if (!written) throw std::runtime_error(path_ + "/" + name + ": cannot write it (" + reason() + ")");
}

void OutputFolder::commit() {
  if (chmod(temporary_.c_str(), program_mode()) != 0 || rename(temporary_.c_str(), path_.c_str()) != 0) {
    throw std::runtime_error(path_ + ": cannot create it (" + reason() +
                             "; it must not exist, or be an empty folder)");
  }
  committed_ = true;
}

}  // namespace msiboot_tool
