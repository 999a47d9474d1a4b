#include "stub_provenance_report.h"

#include <cstdio>

namespace msiboot_tool {
namespace {

std::string verdict(const StubProvenance& provenance) {
  std::string stub = "the released msiboot " + provenance.version + " stub";
  if (provenance.branded) stub += " branded with its own icon or version information";
  if (provenance.released) {
    return stub + (provenance.key_sha256.empty() ? ", key slot empty (it trusts no key)"
                                                  : ", key sha256 " + provenance.key_sha256);
  }
  char offset[48];
  std::snprintf(offset, sizeof offset, "%llu (0x%llx)",
                static_cast<unsigned long long>(provenance.first_difference),
                static_cast<unsigned long long>(provenance.first_difference));
  bool one = provenance.differing_bytes == 1;
  return "not " + stub + ": " + std::to_string(provenance.differing_bytes) +
         (one ? " byte differs" : " bytes differ") + ", the first at offset " + offset;
}

}  // namespace

std::string stub_provenance_text(const StubProvenance& provenance) {
  if (!provenance.compared) return "  stub: not compared with the released stub: " + provenance.problem + "\n";
  std::string text = "  stub: " + verdict(provenance) + "\n";
  if (!provenance.stub_file.empty()) text += "    compared with " + provenance.stub_file + "\n";
  return text;
}

nlohmann::json stub_provenance_json(const StubProvenance& provenance) {
  nlohmann::json object = {{"file", provenance.stub_file},
                           {"version", provenance.version},
                           {"compared", provenance.compared},
                           {"released", provenance.released},
                           {"branded", provenance.branded}};
  if (!provenance.compared) {
    object["problem"] = provenance.problem;
  } else if (provenance.released) {
    object["key_sha256"] = provenance.key_sha256.empty() ? nlohmann::json(nullptr)
                                                         : nlohmann::json(provenance.key_sha256);
  } else {
    object["differing_bytes"] = provenance.differing_bytes;
    object["first_difference"] = provenance.first_difference;
  }
  return object;
}

}  // namespace msiboot_tool
