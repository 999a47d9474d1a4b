#pragma once
// An icon file (.ico): its images, as an icon group in a program's resources names them.
#include <cstdint>
#include <vector>

#include "files/byte_buffer.h"

namespace msiboot_tool {

struct IconImage {
  uint8_t width = 0, height = 0;  // 0 stands for 256 or more
  uint8_t colours = 0;
  uint16_t planes = 0, bit_count = 0;
  Bytes data;  // a PNG file or a bitmap (header, colours, XOR and AND masks)
};

// The images of an icon file, in file order. Throws ToolError when the bytes are not an
// icon file, hold no image, or an image lies outside the file or is neither PNG nor a bitmap.
std::vector<IconImage> read_icon_file(const Bytes& ico);

}  // namespace msiboot_tool
