#include "files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "files/interrupt_cleanup.h"
#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

std::string reason() { return std::strerror(errno); }

mode_t program_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0777 & ~mask;
}

const char* kind_of(mode_t mode) {
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "a pipe or a socket";
}

// Puts from at to without replacing anything there.
int rename_new(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the flag: a hard link fails just as well when the name exists.
  if (link(from, to) != 0) return -1;
  unlink(from);
  return 0;
}

}  // namespace

void check_output_path(const std::string& output, const std::vector<std::string>& inputs) {
  struct stat out;
  if (lstat(output.c_str(), &out) != 0) return;  // nothing there yet
  if (!S_ISREG(out.st_mode)) {
    throw ToolError(output, std::string("is ") + kind_of(out.st_mode) +
                             ", not a regular file: refusing to replace it");
  }
  for (const std::string& input : inputs) {
    struct stat in;
    if (stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      throw ToolError(output, "is also an input (" + input + "): refusing to write over it");
    }
  }
}

OutputFile::OutputFile(const std::string& path, const std::vector<std::string>& inputs)
    : path_(path), temporary_(path + ".tmp-XXXXXX") {
  check_output_path(path, inputs);
  fd_ = mkstemp(temporary_.data());
  if (fd_ < 0) throw ToolError(path_, "cannot create it (" + reason() + ")");
  try {
    slot_ = remove_on_interrupt(temporary_);
  } catch (...) {
    close(fd_);
    unlink(temporary_.c_str());
    throw;
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    close(fd_);
    unlink(temporary_.c_str());
  }
  forget_on_interrupt(slot_);
}

void OutputFile::fail(const char* what) {
  throw ToolError(path_, std::string("cannot ") + what + " it (" + reason() + ")");
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

size_t OutputFile::read_back(uint64_t offset, uint8_t* bytes, size_t length) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = pread(fd_, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail("read back");
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void OutputFile::write_at(uint64_t offset, const uint8_t* bytes, size_t length) {
  for (size_t done = 0; done < length;) {
    ssize_t n = pwrite(fd_, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("write");
    done += static_cast<size_t>(n);
  }
}

void OutputFile::close_temporary(mode_t mode) {
  if (fchmod(fd_, mode) != 0) fail("write");
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    unlink(temporary_.c_str());
    fail("write");
  }
}

void OutputFile::commit() {
  close_temporary(program_mode());
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    int saved = errno;
    unlink(temporary_.c_str());
    errno = saved;
    fail("create");
  }
  forget_on_interrupt(slot_);
  slot_ = -1;
}

void OutputFile::commit_new(mode_t mode) {
  close_temporary(mode);
  if (rename_new(temporary_.c_str(), path_.c_str()) != 0) {
    int saved = errno;
    unlink(temporary_.c_str());
    if (saved == EEXIST) throw ToolError(path_, "exists already: refusing to write over it");
    errno = saved;
    fail("create");
  }
  // Until the command ends, an interrupt removes the committed file too: both or neither.
  forget_on_interrupt(slot_);
  slot_ = remove_on_interrupt(path_);
}

void OutputFile::remove_committed() {
  unlink(path_.c_str());
  forget_on_interrupt(slot_);
  slot_ = -1;
}

OutputFolder::OutputFolder(const std::string& path) : path_(path), temporary_(path + ".tmp-XXXXXX") {
  struct stat existing;
  if (lstat(path.c_str(), &existing) == 0 && !S_ISDIR(existing.st_mode)) {
    std::string kind = S_ISREG(existing.st_mode) ? "a file" : kind_of(existing.st_mode);
    throw ToolError(path, "is " + kind + ", not a folder: refusing to replace it");
  }
  if (mkdtemp(temporary_.data()) == nullptr) {
    throw ToolError(path_, "cannot create it (" + reason() + ")");
  }
  slots_.push_back(remove_on_interrupt(temporary_));
}

OutputFolder::~OutputFolder() {
  if (fd_ >= 0) close(fd_);
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove_all(temporary_, ignored);
  }
  for (int slot : slots_) forget_on_interrupt(slot);
}

void OutputFolder::begin(const std::string& name) {
  close_current();
  std::string file = temporary_ + "/" + name;
  slots_.push_back(remove_on_interrupt(file));
  fd_ = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  current_ = name;
  if (fd_ < 0) throw ToolError(path_ + "/" + name, "cannot write it (" + reason() + ")");
}

void OutputFolder::write(const uint8_t* bytes, size_t length) {
  for (size_t done = 0; done < length;) {
    ssize_t n = ::write(fd_, bytes + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ToolError(path_ + "/" + current_, "cannot write it (" + reason() + ")");
    done += static_cast<size_t>(n);
  }
}

void OutputFolder::close_current() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) throw ToolError(path_ + "/" + current_, "cannot write it (" + reason() + ")");
}

void OutputFolder::commit() {
  close_current();
  if (chmod(temporary_.c_str(), program_mode()) != 0 || rename(temporary_.c_str(), path_.c_str()) != 0) {
    throw ToolError(path_, "cannot create it (" + reason() +
                             "; it must not exist, or be an empty folder)");
  }
  committed_ = true;
}

}  // namespace msiboot_tool
