#include "wine_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

// Creating the prefix on first use takes a while; the robot's own time-out comes on top.
constexpr int kWineStartAllowanceMs = 240000;

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Runs argv with stdout captured; kills it when deadline_ms passes. Returns its output.
std::string run_captured(const std::vector<std::string>& argv, int deadline_ms, bool* killed) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }

  std::string output;
  *killed = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      kill(pid, SIGKILL);
      *killed = true;
      break;
    }
    pollfd fd = {pipe_fds[0], POLLIN, 0};
    int ready = poll(&fd, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[4096];
    ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return output;
}

// Reads one "..." text at pos (which must point at the opening quote), undoing the escapes.
std::string read_quoted(const std::string& line, size_t* pos) {
  std::string text;
  if (*pos >= line.size() || line[*pos] != '"') return text;
  size_t i = *pos + 1;
  for (; i < line.size() && line[i] != '"'; ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      char e = line[++i];
      c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
    }
    text += c;
  }
  *pos = i + 1;
  return text;
}

// The quoted value of field `name=` found at or after *pos.
std::string field(const std::string& line, const std::string& name, size_t* pos) {
  size_t at = line.find(name + "=\"", *pos);
  if (at == std::string::npos) return {};
  *pos = at + name.size() + 1;
  return read_quoted(line, pos);
}

bool starts_with(const std::string& line, const char* prefix) {
  return line.rfind(prefix, 0) == 0;
}

uint32_t read_unsigned(const std::string& text) {
  return static_cast<uint32_t>(std::stoul(text));
}

// UTF-16LE units to UTF-8.
std::string utf8(const uint8_t* units, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = units[2 * i] | (units[2 * i + 1] << 8);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
      uint32_t low = units[2 * i + 2] | (units[2 * i + 3] << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A PE image's resource section, read from the file.
class PeResources {
 public:
  explicit PeResources(std::vector<uint8_t> image) : image_(std::move(image)) {
    uint32_t pe = u32(0x3C);
    if (u32(pe) != 0x00004550) fail("no PE signature");
    uint32_t sections = u16(pe + 6);
    uint32_t optional = pe + 24;
    uint32_t optional_size = u16(pe + 20);
    uint32_t directories = optional + (u16(optional) == 0x20B ? 112 : 96);
    resource_rva_ = u32(directories + 2 * 8);
    for (uint32_t i = 0; i < sections; ++i) {
      uint32_t s = optional + optional_size + i * 40;
      sections_.push_back({u32(s + 12), u32(s + 8), u32(s + 20), u32(s + 16)});
    }
    root_ = offset_of(resource_rva_);
  }

  // The data of resource (type, id, language), or none.
  std::vector<uint8_t> find(uint32_t type, uint32_t id, uint32_t language) const {
    uint32_t dir = root_;
    for (uint32_t key : {type, id, language}) {
      uint32_t entry = child(dir, key);
      if (entry == 0) return {};
      if (key != language) {
        if ((entry & 0x80000000u) == 0) return {};
        dir = root_ + (entry & 0x7FFFFFFFu);
      } else {
        uint32_t data = root_ + entry;
        uint32_t at = offset_of(u32(data));
        uint32_t size = u32(data + 4);
        check(at, size);
        return std::vector<uint8_t>(image_.begin() + at, image_.begin() + at + size);
      }
    }
    return {};
  }

 private:
  struct Section {
    uint32_t rva, virtual_size, file_offset, file_size;
  };

  [[noreturn]] static void fail(const char* what) {
    throw std::runtime_error(std::string("stub image: ") + what);
  }
  void check(uint64_t at, uint64_t size) const {
    if (at + size > image_.size()) fail("read past the end");
  }
  uint32_t u16(uint64_t at) const {
    check(at, 2);
    return image_[at] | (image_[at + 1] << 8);
  }
  uint32_t u32(uint64_t at) const { return u16(at) | (u16(at + 2) << 16); }

  uint32_t offset_of(uint32_t rva) const {
    for (const Section& s : sections_) {
      if (rva >= s.rva && rva - s.rva < s.file_size) return s.file_offset + (rva - s.rva);
    }
    fail("address outside the sections");
  }

  // The entry value for numeric key in directory dir, 0 when absent.
  uint32_t child(uint32_t dir, uint32_t key) const {
    uint32_t count = u16(dir + 12) + u16(dir + 14);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t entry = dir + 16 + i * 8;
      if (u32(entry) == key) return u32(entry + 4);
    }
    return 0;
  }

  std::vector<uint8_t> image_;
  std::vector<Section> sections_;
  uint32_t resource_rva_ = 0;
  uint32_t root_ = 0;
};

}  // namespace

std::string e2e_work_dir() {
  std::filesystem::create_directories(MSIBOOT_WORK_DIR);
  return MSIBOOT_WORK_DIR;
}

std::string make_stub_copy(const std::string& file_name, const std::vector<uint8_t>& appended) {
  std::vector<uint8_t> bytes = read_file(MSIBOOT_STUB);
  bytes.insert(bytes.end(), appended.begin(), appended.end());
  std::string path = e2e_work_dir() + "/" + file_name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string wine_path(const std::string& linux_path) {
  std::string path = "Z:" + linux_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

RobotRun parse_robot_transcript(const std::string& transcript) {
  RobotRun run;
  run.transcript = transcript;
  std::istringstream lines(transcript);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t pos = 0;
    if (starts_with(line, "box ")) {
      RobotBox box;
      box.caption = field(line, "caption", &pos);
      box.text = field(line, "text", &pos);
      run.boxes.push_back(box);
    } else if (starts_with(line, "window ")) {
      RobotWindow window;
      window.class_name = field(line, "class", &pos);
      window.caption = field(line, "caption", &pos);
      run.windows.push_back(window.class_name);
      run.window_records.push_back(window);
    } else if (starts_with(line, "press ")) {
      run.presses.push_back(line.substr(6));
    } else if (starts_with(line, "missing ")) {
      run.presses.push_back(line);
    } else if (starts_with(line, "progress ")) {
      RobotProgress progress;
      if (std::sscanf(line.c_str(), "progress pos=%d max=%d", &progress.pos, &progress.max) == 2) {
        run.progress.push_back(progress);
      }
    } else if (line == "timeout") {
      run.timed_out = true;
    } else if (starts_with(line, "exit ")) {
      run.exit_code = static_cast<int>(read_unsigned(line.substr(5)));
    }
  }
  return run;
}

RobotRun run_under_robot(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& presses, int timeout_ms) {
  std::vector<std::string> argv = {MSIBOOT_WINE_RUN, "--prefix", MSIBOOT_WINEPREFIX, MSIBOOT_ROBOT,
                                   "--timeout", std::to_string(timeout_ms)};
  for (const std::string& press : presses) {
    argv.push_back("--press");
    argv.push_back(press);
  }
  argv.push_back("--");
  argv.push_back(!exe.empty() && exe[0] == '/' ? wine_path(exe) : exe);
  argv.insert(argv.end(), args.begin(), args.end());

  bool killed = false;
  std::string output = run_captured(argv, timeout_ms + kWineStartAllowanceMs, &killed);
  RobotRun run = parse_robot_transcript(output);
  if (killed) {
    run.timed_out = true;
    run.transcript += "(the robot itself did not end in time and was killed)\n";
  }
  return run;
}

std::string stub_resource_string(unsigned id) {
  constexpr uint32_t kStringType = 6;
  constexpr uint32_t kEnglishUs = 1033;
  PeResources resources(read_file(MSIBOOT_STUB));
  std::vector<uint8_t> block = resources.find(kStringType, id / 16 + 1, kEnglishUs);
  size_t at = 0;
  for (unsigned i = 0; i < 16; ++i) {
    if (at + 2 > block.size()) return {};
    size_t units = block[at] | (block[at + 1] << 8);
    at += 2;
    if (units > (block.size() - at) / 2) return {};
    if (i == id % 16) return utf8(block.data() + at, units);
    at += units * 2;
  }
  return {};
}
