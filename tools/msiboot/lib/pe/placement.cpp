#include "pe/placement.h"

namespace msiboot_tool {

const char* placement_name(Placement placement) {
  switch (placement) {
    case Placement::Certificate: return "certificate";
    case Placement::SignatureTail: return "signature-tail";
    case Placement::Append: break;
  }
  return "append";
}

std::optional<Placement> placement_named(const std::string& name) {
  for (Placement placement : {Placement::Append, Placement::Certificate, Placement::SignatureTail}) {
    if (name == placement_name(placement)) return placement;
  }
  return std::nullopt;
}

}  // namespace msiboot_tool
