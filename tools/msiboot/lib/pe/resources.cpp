#include "pe/resources.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "files/tool_error.h"
#include "payload/pe_layout.h"
#include "pe/headers.h"

namespace msiboot_tool {
namespace {

using namespace pe_layout;

constexpr char kMalformed[] = "its resource tree is malformed";
// Beyond the section's size, for the few names a tree lists in several languages.
constexpr size_t kNameUnitsSlack = 1u << 16;

// The resource tree, read from its directory to the end of its section's bytes in the file.
class TreeReader {
 public:
  TreeReader(std::span<const uint8_t> image, size_t begin, size_t size, uint32_t rva)
      : image_(image), begin_(begin), size_(size), rva_(rva), entries_left_(size / kResourceDirectoryEntry),
        data_left_(size), name_units_left_(size + kNameUnitsSlack) {}

  void walk(size_t directory, int level, Resource& path, std::vector<Resource>& out) {
    if (directory > size_ || size_ - directory < kResourceDirectoryHeader) throw ToolError(kMalformed);
    size_t named = u16(directory + kResourceNamedCountField), count = named + u16(directory + kResourceIdCountField);
    // A well-formed tree uses each entry once; this also bounds a tree whose entries repeat.
    if (count > entries_left_ || (size_ - directory - kResourceDirectoryHeader) / kResourceDirectoryEntry < count) {
      throw ToolError(kMalformed);
    }
    entries_left_ -= count;
    for (size_t i = 0; i < count; ++i) {
      size_t entry = directory + kResourceDirectoryHeader + i * kResourceDirectoryEntry;
      ResourceKey key = key_at(u32(entry));
      uint32_t target = u32(entry + 4);
      if ((level < 2) != ((target & kResourceSubdirectoryBit) != 0)) throw ToolError(kMalformed);
      if (level == 0) path.type = key;
      if (level == 1) path.name = key;
      if (level < 2) {
        walk(target & ~kResourceSubdirectoryBit, level + 1, path, out);
        continue;
      }
      if (!key.text.empty()) throw ToolError(kMalformed);
      spend_name_units(path.type.text.size() + path.name.text.size());
      path.language = key.id;
      path.data = data_at(target);
      out.push_back(path);
    }
  }

 private:
  uint32_t u32(size_t at) const {
    if (at > size_ || size_ - at < 4) throw ToolError(kMalformed);
    return get_u32le(image_, begin_ + at);
  }
  uint16_t u16(size_t at) const {
    if (at > size_ || size_ - at < 2) throw ToolError(kMalformed);
    return get_u16le(image_, begin_ + at);
  }
  // Names read and copied into resources together take no more than the tree holds: a tree whose
  // entries all name one long string costs its size, not its size for every entry.
  void spend_name_units(size_t units) {
    if (units > name_units_left_) throw ToolError("its resource names add up to more than its resource section");
    name_units_left_ -= units;
  }
  ResourceKey key_at(uint32_t field) {
    ResourceKey key;
    if ((field & kResourceSubdirectoryBit) == 0) {
      if (field > UINT16_MAX) throw ToolError(kMalformed);
      key.id = static_cast<uint16_t>(field);
      return key;
    }
    size_t at = field & ~kResourceSubdirectoryBit, length = u16(at);
    if (length == 0) throw ToolError(kMalformed);
    spend_name_units(length);
    for (size_t i = 0; i < length; ++i) key.text += static_cast<char16_t>(u16(at + 2 + 2 * i));
    return key;
  }
  Bytes data_at(size_t entry) {
    uint64_t rva = u32(entry), length = u32(entry + 4);
    if (rva < rva_ || rva - rva_ > size_ || size_ - (rva - rva_) < length || length > data_left_) {
      throw ToolError("a resource lies outside the resource section");
    }
    data_left_ -= length;
    auto from = image_.begin() + static_cast<std::ptrdiff_t>(begin_ + (rva - rva_));
    return Bytes(from, from + static_cast<std::ptrdiff_t>(length));
  }

  std::span<const uint8_t> image_;
  size_t begin_, size_;
  uint32_t rva_;
  size_t entries_left_, data_left_, name_units_left_;
};

// Names before numbers; names in code-unit order, numbers ascending: the order lookups expect.
bool key_less(const ResourceKey& a, const ResourceKey& b) {
  if (a.text.empty() != b.text.empty()) return !a.text.empty();
  return a.text.empty() ? a.id < b.id : a.text < b.text;
}

bool resource_less(const Resource& a, const Resource& b) {
  if (!(a.type == b.type)) return key_less(a.type, b.type);
  if (!(a.name == b.name)) return key_less(a.name, b.name);
  return a.language < b.language;
}

size_t align(size_t value, size_t to) { return (value + to - 1) / to * to; }

using Run = std::pair<size_t, size_t>;  // [first, last) of the sorted resources

// One directory of the tree: level 0 lists the types, 1 the names of a type, 2 the languages of a
// name; one run of resources for each of its entries.
struct Directory {
  int level = 0;
  std::vector<Run> runs;
};

// The runs of range that share their type (level 0) or name (level 1); at level 2 each resource
// is its own.
std::vector<Run> runs(const std::vector<Resource>& r, Run range, int level) {
  auto same = [level](const Resource& a, const Resource& b) {
    return level == 0 ? a.type == b.type : level == 1 && a.name == b.name;
  };
  std::vector<Run> out;
  for (size_t i = range.first; i < range.second;) {
    size_t j = i + 1;
    while (j < range.second && same(r[i], r[j])) ++j;
    out.emplace_back(i, j);
    i = j;
  }
  return out;
}

// The directories of sorted resources, breadth first as the section holds them: the root, then
// one per type, then one per name.
std::vector<Directory> directories_of(const std::vector<Resource>& r) {
  std::vector<Directory> dirs = {{0, runs(r, {0, r.size()}, 0)}};
  for (size_t d = 0; d < dirs.size(); ++d) {
    if (dirs[d].level == 2) continue;
    const Directory parent = dirs[d];  // dirs grows below
    for (Run run : parent.runs) dirs.push_back({parent.level + 1, runs(r, run, parent.level + 1)});
  }
  return dirs;
}

// Where the parts of a new resource section lie: the directories, the data entries (one per
// resource), the name strings, then the data, 8-aligned.
struct SectionLayout {
  std::vector<size_t> directories;
  size_t data_entries = 0;
  std::vector<uint32_t> key_fields;  // every directory entry's name or id field, in order
  std::vector<std::pair<const std::u16string*, size_t>> strings;
  std::vector<size_t> data;
  size_t size = 0;
};

SectionLayout lay_out(const std::vector<Resource>& r, const std::vector<Directory>& dirs) {
  SectionLayout layout;
  size_t offset = 0;
  for (const Directory& dir : dirs) {
    layout.directories.push_back(offset);
    offset += kResourceDirectoryHeader + dir.runs.size() * kResourceDirectoryEntry;
  }
  layout.data_entries = offset;
  offset += r.size() * kResourceDataEntry;
  for (const Directory& dir : dirs) {
    for (Run run : dir.runs) {
      const Resource& first = r[run.first];
      const ResourceKey* key = dir.level == 0 ? &first.type : dir.level == 1 ? &first.name : nullptr;
      if (key == nullptr || key->text.empty()) {
        layout.key_fields.push_back(key == nullptr ? first.language : key->id);
        continue;
      }
      layout.key_fields.push_back(kResourceSubdirectoryBit | static_cast<uint32_t>(offset));
      layout.strings.emplace_back(&key->text, offset);
      offset += 2 + 2 * key->text.size();
    }
  }
  for (const Resource& resource : r) {
    offset = align(offset, 8);
    layout.data.push_back(offset);
    offset += resource.data.size();
  }
  layout.size = align(offset, 8);
  return layout;
}

// Each directory lists its named entries, then its numbered ones (as sorted); an entry leads to
// the next directory in breadth-first order or, at the last level, to its resource's data entry.
void write_directories(Bytes& section, const std::vector<Directory>& dirs, const SectionLayout& layout) {
  size_t next_child = 1, entry_index = 0;
  for (size_t d = 0; d < dirs.size(); ++d) {
    const Directory& dir = dirs[d];
    if (dir.runs.size() > UINT16_MAX) throw ToolError("too many resources in one directory");
    size_t at = layout.directories[d], named = 0;
    for (size_t k = 0; k < dir.runs.size(); ++k) {
      uint32_t key = layout.key_fields[entry_index++];
      named += (key & kResourceSubdirectoryBit) != 0;
      size_t target = dir.level < 2 ? kResourceSubdirectoryBit | layout.directories[next_child++]
                                    : layout.data_entries + dir.runs[k].first * kResourceDataEntry;
      put_u32le(section, at + kResourceDirectoryHeader + k * kResourceDirectoryEntry, key);
      put_u32le(section, at + kResourceDirectoryHeader + k * kResourceDirectoryEntry + 4, static_cast<uint32_t>(target));
    }
    put_u16le(section, at + kResourceNamedCountField, static_cast<uint16_t>(named));
    put_u16le(section, at + kResourceIdCountField, static_cast<uint16_t>(dir.runs.size() - named));
  }
}

// A resource section for sorted resources at virtual address va.
Bytes build_section(const std::vector<Resource>& r, uint32_t va) {
  std::vector<Directory> dirs = directories_of(r);
  SectionLayout layout = lay_out(r, dirs);
  if (layout.size >= kResourceSubdirectoryBit || va + static_cast<uint64_t>(layout.size) > UINT32_MAX) {
    throw ToolError("the resources would not fit the image");
  }
  Bytes section(layout.size, 0);
  write_directories(section, dirs, layout);
  for (size_t i = 0; i < r.size(); ++i) {
    size_t entry = layout.data_entries + i * kResourceDataEntry;
    put_u32le(section, entry, va + static_cast<uint32_t>(layout.data[i]));
    put_u32le(section, entry + 4, static_cast<uint32_t>(r[i].data.size()));
    std::copy(r[i].data.begin(), r[i].data.end(), section.begin() + static_cast<std::ptrdiff_t>(layout.data[i]));
  }
  for (auto [text, at] : layout.strings) {
    put_u16le(section, at, static_cast<uint16_t>(text->size()));
    for (size_t i = 0; i < text->size(); ++i) put_u16le(section, at + 2 + 2 * i, (*text)[i]);
  }
  return section;
}

const PeSection& resource_section(std::span<const uint8_t> image, const PeHeaders& layout) {
  uint32_t rva = data_directory(image, layout, kResourceDirectory).first;
  if (rva == 0) throw ToolError("has no resources");
  for (const PeSection& s : layout.sections) {
    if (s.va == rva) return s;
  }
  throw ToolError("its resources do not begin a section of their own");
}

// Only the base relocations may follow the resource section (they refer to no address in it or
// after it, and nothing refers to them but their directory entry), so that it can grow in place.
void require_movable_tail(std::span<const uint8_t> image, const PeHeaders& layout, const PeSection& resources) {
  const char* fixed = "cannot grow its resource section: other data follows it";
  auto [relocations, relocations_size] = data_directory(image, layout, kRelocationDirectory);
  if (data_directory(image, layout, kSecurityDirectory).second != 0) throw ToolError("is signed");
  uint64_t resources_raw_end = static_cast<uint64_t>(resources.raw_offset) + resources.raw_size;
  for (const PeSection& s : layout.sections) {
    if (&s == &resources) continue;
    if (s.va < resources.va) {
      if (s.raw_size != 0 && static_cast<uint64_t>(s.raw_offset) + s.raw_size > resources.raw_offset) {
        throw ToolError(fixed);
      }
    } else if (s.va != relocations || relocations_size > std::max(s.virtual_size, s.raw_size) ||
               (s.raw_size != 0 && s.raw_offset < resources_raw_end)) {
      throw ToolError(fixed);
    }
  }
  for (uint32_t i = 0; i < layout.directory_count && i < kDirectoryCount; ++i) {
    auto [rva, size] = data_directory(image, layout, i);
    bool moves = i != kResourceDirectory && i != kRelocationDirectory && rva != 0;
    if (moves && static_cast<uint64_t>(rva) + size > resources.va) throw ToolError(fixed);
  }
  if (get_u32le(image, layout.optional + kEntryPointField) >= resources.va) throw ToolError(fixed);
  // Every relocated page lies before the resources.
  for (const PeSection& s : layout.sections) {
    if (s.va != relocations || relocations == 0) continue;
    size_t at = s.raw_offset, end = at + std::min(relocations_size, s.raw_size);
    while (end - at >= 8) {
      uint32_t page = get_u32le(image, at), block = get_u32le(image, at + 4);
      if (block < 8 || block > end - at) throw ToolError("its base relocations are malformed");
      if (page >= resources.va) throw ToolError(fixed);
      at += block;
    }
  }
}

void add_to_field(Bytes& image, size_t field, int64_t delta) {
  int64_t value = static_cast<int64_t>(get_u32le(image, field)) + delta;
  if (value < 0 || value > UINT32_MAX) throw ToolError("the image would be larger than 4 GiB");
  put_u32le(image, field, static_cast<uint32_t>(value));
}

}  // namespace

std::vector<Resource> read_resources(std::span<const uint8_t> image) {
  PeHeaders layout = read_pe_headers(image);
  auto [rva, size] = data_directory(image, layout, kResourceDirectory);
  std::vector<Resource> resources;
  if (rva == 0) return resources;
  for (const PeSection& s : layout.sections) {
    if (rva < s.va || rva - s.va >= s.raw_size) continue;
    uint64_t begin = static_cast<uint64_t>(s.raw_offset) + (rva - s.va);
    uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(s.raw_offset) + s.raw_size, image.size());
    if (begin >= end) break;
    TreeReader reader(image, static_cast<size_t>(begin), static_cast<size_t>(end - begin), rva);
    Resource path;
    reader.walk(0, 0, path, resources);
    return resources;
  }
  throw ToolError("its resource directory lies outside its sections");
}

Bytes replace_resources(const Bytes& image, std::vector<Resource> resources) {
  PeHeaders layout = read_pe_headers(image);
  if (sections_end(image) != image.size()) throw ToolError("carries data after its image");
  const PeSection& old = resource_section(image, layout);
  require_movable_tail(image, layout, old);
  uint32_t section_alignment = get_u32le(image, layout.optional + kSectionAlignmentField);
  uint32_t file_alignment = get_u32le(image, layout.optional + kFileAlignmentField);
  if (file_alignment == 0 || section_alignment < file_alignment) throw ToolError("its section alignment is malformed");
  std::sort(resources.begin(), resources.end(), resource_less);
  for (size_t i = 1; i < resources.size(); ++i) {
    if (!resource_less(resources[i - 1], resources[i])) throw ToolError("two resources have the same type, name and language");
  }
  Bytes section = build_section(resources, old.va);
  size_t raw_size = align(section.size(), file_alignment);
  int64_t raw_delta = static_cast<int64_t>(raw_size) - old.raw_size;
  int64_t va_delta = static_cast<int64_t>(align(section.size(), section_alignment)) -
                     static_cast<int64_t>(align(std::max(old.virtual_size, old.raw_size), section_alignment));
  // The image ends with its sections' raw data, so the old section's bytes lie within it.
  Bytes out(image.begin(), image.begin() + old.raw_offset);
  out.insert(out.end(), section.begin(), section.end());
  out.resize(out.size() + (raw_size - section.size()), 0);
  out.insert(out.end(), image.begin() + static_cast<std::ptrdiff_t>(old.raw_offset + old.raw_size), image.end());
  checked_u32(out.size(), "the image");
  put_u32le(out, old.header + kSectionVirtualSizeField, static_cast<uint32_t>(section.size()));
  put_u32le(out, old.header + kSectionRawSizeField, static_cast<uint32_t>(raw_size));
  for (const PeSection& s : layout.sections) {
    if (s.va <= old.va) continue;
    add_to_field(out, s.header + kSectionAddressField, va_delta);
    if (s.raw_size != 0) add_to_field(out, s.header + kSectionRawOffsetField, raw_delta);
  }
  put_u32le(out, data_directory_field(layout, kResourceDirectory) + 4, static_cast<uint32_t>(section.size()));
  if (data_directory(image, layout, kRelocationDirectory).first != 0) {
    add_to_field(out, data_directory_field(layout, kRelocationDirectory), va_delta);
  }
  add_to_field(out, layout.optional + kImageSizeField, va_delta);
  add_to_field(out, layout.optional + kInitializedDataSizeField, raw_delta);
  update_pe_checksum(out);
  return out;
}

}  // namespace msiboot_tool
