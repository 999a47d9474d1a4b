#include "inspect/stub_provenance.h"

#include <algorithm>
#include <span>
#include <stdexcept>

#include "files/file_bytes.h"
#include "files/tool_error.h"
#include "files/tool_paths.h"
#include "payload/payload_public_key.h"
#include "payload/pe_layout.h"
#include "pe/certificate_table.h"
#include "pe/key_slot.h"
#include "pe/resources.h"

namespace msiboot_tool {
namespace {

struct ByteRange {
  uint64_t offset = 0;
  uint64_t size = 0;
};

// The released stub's image as the comparison sees it.
struct ReleasedImage {
  uint64_t end = 0;         // where its sections' raw data end; the image part is [0, end)
  uint64_t key_offset = 0;  // the key bytes of its slot
  std::vector<ByteRange> ignored;  // inside the image, sorted by offset, not overlapping
};

// Where the setup.exe's own headers say its image ends, within the file: a file whose headers
// cannot be read is image to its end.
uint64_t setup_image_end(const uint8_t* setup, size_t size) {
  uint64_t end = size;
  try {
    end = std::min<uint64_t>(sections_end(std::span<const uint8_t>(setup, size)), size);
  } catch (const ToolError&) {
  }
  return end;
}

void note_difference(StubProvenance& provenance, uint64_t offset, uint64_t count) {
  if (provenance.differing_bytes == 0) provenance.first_difference = offset;
  provenance.differing_bytes += count;
}

// Both hold [from, to): the caller bounds it by both images.
void count_differences(const uint8_t* setup, const Bytes& stub, uint64_t from, uint64_t to,
                       StubProvenance& provenance) {
  for (uint64_t i = from; i < to; ++i) {
    if (setup[i] != stub[i]) note_difference(provenance, i, 1);
  }
}

void compare_image(const uint8_t* setup, size_t size, const Bytes& stub, const ReleasedImage& image,
                   StubProvenance& provenance) {
  uint64_t setup_end = setup_image_end(setup, size);
  uint64_t common = std::min(image.end, setup_end);
  uint64_t at = 0;
  for (const ByteRange& range : image.ignored) {
    count_differences(setup, stub, at, std::min(range.offset, common), provenance);
    at = std::max(at, range.offset + range.size);
  }
  count_differences(setup, stub, at, common, provenance);
  // An image part longer or shorter than the released one differs by the bytes it lacks or adds.
  if (setup_end != image.end) note_difference(provenance, common, std::max(image.end, setup_end) - common);
  provenance.released = provenance.differing_bytes == 0;
  if (provenance.released && image.key_offset + kPayloadPublicKeySize <= size) {
    provenance.key_sha256 = key_sha256({setup + image.key_offset, kPayloadPublicKeySize});
  }
}

bool same_resource(const Resource& a, const Resource& b) {
  return a.type == b.type && a.name == b.name && a.language == b.language && a.data == b.data;
}

bool same_resources(const std::vector<Resource>& a, const std::vector<Resource>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same_resource);
}

// What branding may change: the icons, their groups, the version information and the messages'
// languages.
bool brandable(const Resource& r) {
  return r.type.text.empty() && (r.type.id == kResourceIcon || r.type.id == kResourceGroupIcon ||
                                 r.type.id == kResourceVersion || r.type.id == pe_layout::kResourceString);
}

// The released stub branded as the setup.exe is, when the two differ in brandable resources only;
// otherwise the released stub itself, so that any other resource counts as a difference.
Bytes reference_stub(std::span<const uint8_t> setup, const Bytes& stub, bool* branded) {
  *branded = false;
  std::vector<Resource> own, released;
  try {
    own = read_resources(setup);
    released = read_resources(stub);
  } catch (const ToolError&) {
    return stub;  // unreadable resources: compared byte for byte, they differ
  }
  if (same_resources(own, released)) return stub;
  std::vector<Resource> own_rest = own, released_rest = released;
  std::erase_if(own_rest, brandable);
  std::erase_if(released_rest, brandable);
  if (!same_resources(own_rest, released_rest)) return stub;
  try {
    Bytes rebranded = replace_resources(stub, std::move(own));
    *branded = true;
    return rebranded;
  } catch (const ToolError&) {
    return stub;
  }
}

// The released stub's image as the comparison sees it, derived from its own headers. Throws
// ToolError when the stub is not a PE32+ msiboot stub with its key slot in its image.
ReleasedImage released_image(const Bytes& stub) {
  using namespace pe_layout;
  uint64_t optional_header = uint64_t{pe32plus_headers(stub)} + kOptionalHeader;
  ReleasedImage image;
  image.end = sections_end(stub);
  if (image.end > stub.size()) throw ToolError("its sections run past the end of the file");
  image.key_offset = stub_key_offset(stub);
  if (image.key_offset + kPayloadPublicKeySize > image.end) {
    throw ToolError("its key slot lies outside its image");
  }
  image.ignored = {{optional_header + kChecksumField, kChecksumSize},
                   {optional_header + kSecurityDirectoryField, kDirectorySize},
                   {image.key_offset, kPayloadPublicKeySize}};
  std::sort(image.ignored.begin(), image.ignored.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  return image;
}

}  // namespace

StubProvenance compare_with_released_stub(const uint8_t* setup, size_t size, const Bytes& stub) {
  StubProvenance provenance;
  provenance.version = MSIBOOT_VERSION;
  try {
    released_image(stub);  // throws unless it is a msiboot stub
    Bytes reference = reference_stub({setup, size}, stub, &provenance.branded);
    ReleasedImage image = released_image(reference);
    provenance.compared = true;
    compare_image(setup, size, reference, image, provenance);
  } catch (const ToolError& error) {
    provenance.problem = error.what();
  }
  return provenance;
}

StubProvenance compare_with_stub_file(const uint8_t* setup, size_t size, const std::string& stub_path) {
  std::string file = stub_path;
  StubProvenance provenance;
  try {
    if (file.empty()) file = installed_stub_path();
    provenance = compare_with_released_stub(setup, size, read_file_bytes(file));
    if (!provenance.compared) provenance.problem = file + ": " + provenance.problem;
  } catch (const ToolError& error) {
    // The messages of reading name the file already.
    provenance.version = MSIBOOT_VERSION;
    provenance.problem = error.what();
  }
  provenance.stub_file = file;
  return provenance;
}

}  // namespace msiboot_tool
