#pragma once
// inspect's text: the file, then a section after another, each line indented under it, and last
// what needs the publisher.
#include <string>

#include "inspect/model.h"

namespace msiboot_tool {

std::string render_text(const SetupModel& model);

// Two of its sections on their own, as render_text writes them:
//   authenticode: signed, sha256, image digest matches, signature valid, chain trusted (...)
// with the signer, the timestamp and the image digest indented below it, each nested signature
// likewise, and a note for bytes the signature leaves or covers beyond the image;
//   stub: the released msiboot 0.1.0 stub, key sha256 HEX
// or what differs, then the file compared with.
std::string authenticode_text(const AuthenticodeReport& report);
std::string stub_provenance_text(const StubProvenance& provenance);

}  // namespace msiboot_tool
