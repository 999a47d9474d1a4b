#pragma once
// What msiboot inspect finds in a setup.exe, built once: the payload as the stub reads it (key,
// containers, records, entries, packages, locales), what the file shows of itself (icon, version
// information), its Authenticode signature, whether its bootstrapper is the released stub, and
// what needs the publisher. The text and JSON renderers only read it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "authenticode/signature_check.h"
#include "branding/branding_report.h"
#include "inspect/setup_contents.h"
#include "inspect/stub_provenance.h"

namespace msiboot_tool {

struct InspectRequest {
  std::string setup;
  std::string public_key;        // a PUBLICKEYBLOB file; empty: the key stamped into the setup.exe
  std::optional<uint32_t> lcid;  // one locale to choose for; none: every kind of locale
  std::string ca_file;  // the CA the Authenticode signature must chain to; empty: the system's store
  std::string stub;     // the released stub to compare with; empty: the one installed beside the tool
};

struct Finding {
  std::string section;  // the report field it is about
  std::string text;     // what is wrong and what to do, in one sentence
  bool warning = false; // a setup.exe that installs for every user it chooses a package for, but
                        // carries what nobody gets, or leaves users without a package
};

struct SetupModel {
  std::string file;        // as given
  bool key_given = false;  // the records were checked against a key given, not the stub's own
  std::optional<uint32_t> lcid;
  SetupReport payload;
  std::optional<BrandingReport> branding;  // none when its resources cannot be read
  std::string branding_problem;            // why
  AuthenticodeReport authenticode;
  StubProvenance stub;
  std::vector<Finding> findings;  // in the order of the sections they are about
};

// Reads the setup.exe once and builds its model. Throws ToolError naming the file when it, the
// key given or the CA file cannot be read; whatever the setup.exe holds is reported, never thrown.
SetupModel inspect_setup(const InspectRequest& request);

// 0 when nothing needs the publisher, else 1; with strict, a warning needs the publisher too.
int exit_status(const SetupModel& model, bool strict = false);

// What the payload needs the publisher for, from the stub's own reading of it: discovery, the
// records, the package and items of every kind of user (or of lcid), packages never installed,
// users who get nothing, entries without their binding.
std::vector<Finding> payload_findings(const SetupReport& payload, std::optional<uint32_t> lcid);

// The setup.exe at path judged as the stub reads it, its records checked against key: its
// payload findings for every kind of user.
std::vector<Finding> judge_setup_file(const std::string& path, const Bytes& key);

}  // namespace msiboot_tool
