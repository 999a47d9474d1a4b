#include "branding/icon_file.h"

#include <algorithm>
#include <string>

#include "files/tool_error.h"

namespace msiboot_tool {
namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kEntrySize = 16;
constexpr uint16_t kIconType = 1;
constexpr uint16_t kCursorType = 2;
constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool is_png(const Bytes& image) {
  return image.size() >= sizeof kPngSignature && std::equal(std::begin(kPngSignature), std::end(kPngSignature), image.begin());
}

// The images lie after the directory, none overlapping another, so that together they take no more
// than the file: a directory that names one image a thousand times would make a stub of a thousand.
void require_disjoint_images(const Bytes& ico, size_t count) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;  // offset, end
  for (size_t i = 0; i < count; ++i) {
    size_t entry = kHeaderSize + i * kEntrySize;
    uint64_t length = get_u32le(ico, entry + 8), offset = get_u32le(ico, entry + 12);
    if (length == 0 || offset + length > ico.size()) {
      throw ToolError("image " + std::to_string(i + 1) + " of the icon file lies outside the file");
    }
    ranges.emplace_back(offset, offset + length);
  }
  std::sort(ranges.begin(), ranges.end());
  uint64_t end = kHeaderSize + count * kEntrySize;
  for (const auto& [offset, image_end] : ranges) {
    if (offset < end) throw ToolError("the icon file's images overlap each other or its directory");
    end = image_end;
  }
}

}  // namespace

std::vector<IconImage> read_icon_file(const Bytes& ico) {
  if (ico.size() < kHeaderSize || get_u16le(ico, 0) != 0) throw ToolError("not an icon file");
  uint16_t type = get_u16le(ico, 2);
  if (type == kCursorType) throw ToolError("is a cursor file, not an icon file");
  if (type != kIconType) throw ToolError("not an icon file");
  size_t count = get_u16le(ico, 4);
  if (count == 0) throw ToolError("the icon file holds no images");
  if ((ico.size() - kHeaderSize) / kEntrySize < count) throw ToolError("not an icon file (its directory is cut short)");
  require_disjoint_images(ico, count);
  std::vector<IconImage> images;
  for (size_t i = 0; i < count; ++i) {
    size_t entry = kHeaderSize + i * kEntrySize;
    std::string which = "image " + std::to_string(i + 1) + " of the icon file";
    uint64_t length = get_u32le(ico, entry + 8), offset = get_u32le(ico, entry + 12);
    IconImage image;
    image.width = ico[entry];
    image.height = ico[entry + 1];
    image.colours = ico[entry + 2];
    image.planes = get_u16le(ico, entry + 4);
    image.bit_count = get_u16le(ico, entry + 6);
    image.data.assign(ico.begin() + static_cast<std::ptrdiff_t>(offset),
                      ico.begin() + static_cast<std::ptrdiff_t>(offset + length));
    bool bitmap = image.data.size() >= kBitmapHeaderSize && get_u32le(image.data, 0) == kBitmapHeaderSize;
    if (!bitmap && !is_png(image.data)) throw ToolError(which + " is neither PNG nor a bitmap");
    // Many tools leave the depth 0 in the directory; the system picks images by it.
    if (image.bit_count == 0) image.bit_count = bitmap ? get_u16le(image.data, 14) : 32;
    if (image.planes == 0) image.planes = 1;
    images.push_back(std::move(image));
  }
  return images;
}

}  // namespace msiboot_tool
