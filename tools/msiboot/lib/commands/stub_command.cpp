#include "commands/stub_command.h"

#include <cstdio>
#include <stdexcept>

#include "branding/stub_languages.h"
#include "container/signing_key.h"
#include "files/file_bytes.h"
#include "files/output_file.h"
#include "files/quiet_output.h"
#include "files/tool_error.h"
#include "files/tool_paths.h"
#include "files/warnings.h"
#include "packages/package_labels.h"
#include "pe/key_slot.h"

namespace msiboot_tool {

void stub_command(const StubOptions& options) {
  std::string from = options.from.empty() ? installed_stub_path("--from") : options.from;
  std::vector<std::string> inputs = {options.key_path, from};
  if (options.branding.icon) inputs.push_back(*options.branding.icon);
  if (options.ui_texts) inputs.push_back(*options.ui_texts);
  check_output_path(options.output, inputs);
  SigningKey key = read_payload_key(options.key_path, options.key_pass);
  StubBranding branding = load_branding(options.branding);
  PublisherTexts texts;
  if (options.ui_texts) texts = read_publisher_texts(*options.ui_texts);
  std::vector<uint32_t> languages, untranslated;
  if (options.ui_languages) languages = parse_ui_languages(*options.ui_languages);
  Bytes stub = read_file_bytes(from);
  Bytes stamped = about_file(from, [&] {
    // Branding rewrites the resource section only; the key slot keeps its place.
    if (options.branding.any()) stub = brand_stub(stub, branding);
    if (!languages.empty() || !texts.empty()) stub = add_stub_languages(stub, languages, texts, &untranslated);
    return stamp_stub(stub, public_key_blob(key));
  });
  OutputFile out(options.output, inputs);
  out.write(stamped);
  out.commit();
  if (!untranslated.empty()) {
    warn("stub", "no texts for " + join_languages(untranslated) + " (give them with --ui-texts)");
  }
  if (!quiet_output()) std::printf("%s: trusts the key of %s\n", options.output.c_str(), options.key_path.c_str());
}

}  // namespace msiboot_tool
