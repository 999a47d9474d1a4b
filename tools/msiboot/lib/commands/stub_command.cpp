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
  std::vector<std::string> inputs = {options.key_path, from};
  if (options.branding.icon) inputs.push_back(*options.branding.icon);
  check_output_path(options.output, inputs);
  SigningKey key = read_payload_key(options.key_path, options.key_pass);
  StubBranding branding = load_branding(options.branding);
  Bytes stub = read_file_bytes(from);
  Bytes stamped;
  try {
    // Branding rewrites the resource section only; the key slot keeps its place.
    if (options.branding.any()) stub = brand_stub(stub, branding);
    stamped = stamp_stub(stub, public_key_blob(key));
  } catch (const std::exception& e) {
    throw std::runtime_error(from + ": " + e.what());
  }
  OutputFile out(options.output, inputs);
  out.write(stamped);
  out.commit();
  std::printf("%s: trusts the key of %s\n", options.output.c_str(), options.key_path.c_str());
}

}  // namespace msiboot_tool
