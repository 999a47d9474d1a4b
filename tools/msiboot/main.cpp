// msiboot: the publisher's tool. Each command is one entry of the table below and reads its own
// arguments.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "keygen_command.h"

namespace {

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

const Command kCommands[] = {
    {"keygen", "PRIVATE.pem PUBLIC.blob  make a payload key pair", msiboot_tool::keygen_command},
};

int usage() {
  std::fprintf(stderr, "usage: msiboot COMMAND [ARGS]\n");
  for (const Command& command : kCommands) {
    std::fprintf(stderr, "  msiboot %s %s\n", command.name, command.summary);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    try {
      return command.run(std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "msiboot %s: %s\n", command.name, e.what());
      return 1;
    }
  }
  return usage();
}
