// Writes the test key's public blob and its signatures of the container fixtures and of their zlib
// streams into the folder named on the command line: the windows tests, which cannot sign, read
// them there.
#include <cstdio>
#include <filesystem>

#include "common/container_fixtures.h"
#include "test_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  std::filesystem::create_directories(folder);
  msiboot_test::write_file_bytes(folder + "/public-key.blob", fixtures::public_key());
  for (const std::string& name : fixtures::content_names()) {
    const Bytes content = fixtures::content(name);
    msiboot_test::write_file_bytes(folder + "/" + name + ".sig", fixtures::signature(content));
    msiboot_test::write_file_bytes(folder + "/" + name + ".stream.sig",
                                   fixtures::signature(msiboot_test::zlib_stream(content)));
  }
  return 0;
}
