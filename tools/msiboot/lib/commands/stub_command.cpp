#include "stub_command.h"

#include <cstdio>
#include <stdexcept>

#include "container_writer.h"
#include "file_bytes.h"
#include "output_file.h"
#include "stub_key_slot.h"
#include "tool_paths.h"

namespace msiboot_tool {

void stub_command(const StubOptions& options) {
  std::string from = options.from.empty() ? installed_stub_path() : options.from;
  check_output_path(options.output, {options.key_path, from});
  SigningKey key = read_payload_key(options.key_path, options.key_pass);
  Bytes stub = read_file_bytes(from);
  Bytes stamped;
  try {
    stamped = stamp_stub(stub, public_key_blob(key));
  } catch (const std::exception& e) {
    throw std::runtime_error(from + ": " + e.what());
  }
  OutputFile out(options.output, {options.key_path, from});
  out.write(stamped);
  out.commit();
  std::printf("%s: trusts the key of %s\n", options.output.c_str(), options.key_path.c_str());
}

}  // namespace msiboot_tool
