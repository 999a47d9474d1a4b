#include "pe_resources.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "payload/pe_layout.h"
#include "pe_certificate_table.h"

namespace msiboot_tool {
namespace {

using namespace pe_layout;

constexpr size_t kDirectoryHeader = 16, kDirectoryEntry = 8, kDataEntry = 16;
constexpr uint32_t kHighBit = 0x80000000;
constexpr char kMalformed[] = "its resource tree is malformed";

struct Section {
  size_t header = 0;
  uint32_t virtual_size = 0, va = 0, raw_size = 0, raw_offset = 0;
};

struct Layout {
  size_t optional = 0;
  uint32_t directory_count = 0;
  std::vector<Section> sections;
};

Layout read_layout(const Bytes& image) {
  uint32_t nt = pe32plus_headers(image);
  Layout layout;
  layout.optional = static_cast<size_t>(nt) + kOptionalHeader;
  layout.directory_count = get_u32le(image, layout.optional + kDirectoryCountField);
  size_t table = layout.optional + get_u16le(image, nt + kOptionalHeaderSizeField);
  for (size_t i = 0, count = get_u16le(image, nt + kSectionCountField); i < count; ++i) {
    Section s;
    s.header = table + i * kSectionHeaderSize;
    s.virtual_size = get_u32le(image, s.header + kSectionVirtualSizeField);
    s.va = get_u32le(image, s.header + kSectionAddressField);
    s.raw_size = get_u32le(image, s.header + kSectionRawSizeField);
    s.raw_offset = get_u32le(image, s.header + kSectionRawOffsetField);
    layout.sections.push_back(s);
  }
  return layout;
}

size_t directory_field(const Layout& layout, uint32_t index) {
  return layout.optional + kDirectoriesField + static_cast<size_t>(index) * kDirectorySize;
}

// {rva, size} of a data directory; zero when the image has no such entry.
std::pair<uint32_t, uint32_t> directory(const Bytes& image, const Layout& layout, uint32_t index) {
  if (index >= layout.directory_count) return {0, 0};
  size_t field = directory_field(layout, index);
  return {get_u32le(image, field), get_u32le(image, field + 4)};
}

// The resource tree, read from its directory to the end of its section's bytes in the file.
class TreeReader {
 public:
  TreeReader(const Bytes& image, size_t begin, size_t size, uint32_t rva)
      : image_(image), begin_(begin), size_(size), rva_(rva), entries_left_(size / kDirectoryEntry), data_left_(size) {}

  void walk(size_t directory, int level, Resource& path, std::vector<Resource>& out) {
    if (directory > size_ || size_ - directory < kDirectoryHeader) throw std::runtime_error(kMalformed);
    size_t named = u16(directory + 12), count = named + u16(directory + 14);
    // A well-formed tree uses each entry once; this also bounds a tree whose entries repeat.
    if (count > entries_left_ || (size_ - directory - kDirectoryHeader) / kDirectoryEntry < count) {
      throw std::runtime_error(kMalformed);
    }
    entries_left_ -= count;
    for (size_t i = 0; i < count; ++i) {
      size_t entry = directory + kDirectoryHeader + i * kDirectoryEntry;
      ResourceKey key = key_at(u32(entry));
      uint32_t target = u32(entry + 4);
      if ((level < 2) != ((target & kHighBit) != 0)) throw std::runtime_error(kMalformed);
      if (level == 0) path.type = key;
      if (level == 1) path.name = key;
      if (level < 2) {
        walk(target & ~kHighBit, level + 1, path, out);
        continue;
      }
      if (!key.text.empty()) throw std::runtime_error(kMalformed);
      path.language = key.id;
      path.data = data_at(target);
      out.push_back(path);
    }
  }

 private:
  uint32_t u32(size_t at) const {
    if (at > size_ || size_ - at < 4) throw std::runtime_error(kMalformed);
    return get_u32le(image_, begin_ + at);
  }
  uint16_t u16(size_t at) const {
    if (at > size_ || size_ - at < 2) throw std::runtime_error(kMalformed);
    return get_u16le(image_, begin_ + at);
  }
  ResourceKey key_at(uint32_t field) const {
    ResourceKey key;
    if ((field & kHighBit) == 0) {
      if (field > UINT16_MAX) throw std::runtime_error(kMalformed);
      key.id = static_cast<uint16_t>(field);
      return key;
    }
    size_t at = field & ~kHighBit, length = u16(at);
    if (length == 0) throw std::runtime_error(kMalformed);
    for (size_t i = 0; i < length; ++i) key.text += static_cast<char16_t>(u16(at + 2 + 2 * i));
    return key;
  }
  Bytes data_at(size_t entry) {
    uint64_t rva = u32(entry), length = u32(entry + 4);
    if (rva < rva_ || rva - rva_ > size_ || size_ - (rva - rva_) < length || length > data_left_) {
      throw std::runtime_error("a resource lies outside the resource section");
    }
    data_left_ -= length;
    auto from = image_.begin() + static_cast<std::ptrdiff_t>(begin_ + (rva - rva_));
    return Bytes(from, from + static_cast<std::ptrdiff_t>(length));
  }

  const Bytes& image_;
  size_t begin_, size_;
  uint32_t rva_;
  size_t entries_left_, data_left_;
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

// Runs of sorted resources [first, last) that share a type (or a type and a name).
template <typename Same>
std::vector<std::pair<size_t, size_t>> runs(const std::vector<Resource>& r, size_t first, size_t last, Same same) {
  std::vector<std::pair<size_t, size_t>> out;
  for (size_t i = first; i < last;) {
    size_t j = i + 1;
    while (j < last && same(r[i], r[j])) ++j;
    out.emplace_back(i, j);
    i = j;
  }
  return out;
}

// Writes a resource section for sorted resources at virtual address va: the directories
// (breadth first), the data entries, the name strings, then the data, each 8-aligned.
Bytes build_section(const std::vector<Resource>& r, uint32_t va) {
  auto types = runs(r, 0, r.size(), [](const Resource& a, const Resource& b) { return a.type == b.type; });
  std::vector<std::vector<std::pair<size_t, size_t>>> names;
  for (auto [first, last] : types) {
    names.push_back(runs(r, first, last, [](const Resource& a, const Resource& b) { return a.name == b.name; }));
  }
  size_t offset = kDirectoryHeader + types.size() * kDirectoryEntry;
  std::vector<size_t> type_dirs, name_dirs;
  for (const auto& type_names : names) {
    type_dirs.push_back(offset);
    offset += kDirectoryHeader + type_names.size() * kDirectoryEntry;
  }
  for (const auto& type_names : names) {
    for (auto [first, last] : type_names) {
      name_dirs.push_back(offset);
      offset += kDirectoryHeader + (last - first) * kDirectoryEntry;
    }
  }
  size_t entries = offset;
  offset += r.size() * kDataEntry;
  std::vector<std::pair<const std::u16string*, size_t>> strings;  // written where first needed
  auto string_at = [&](const ResourceKey& key) -> uint32_t {
    if (key.text.empty()) return key.id;
    strings.emplace_back(&key.text, offset);
    offset += 2 + 2 * key.text.size();
    return kHighBit | static_cast<uint32_t>(strings.back().second);
  };
  std::vector<std::pair<uint32_t, uint32_t>> root_entries, type_entries, name_entries;
  size_t name_index = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    root_entries.emplace_back(string_at(r[types[t].first].type), kHighBit | type_dirs[t]);
    for (auto [first, last] : names[t]) {
      type_entries.emplace_back(string_at(r[first].name), kHighBit | name_dirs[name_index++]);
      for (size_t i = first; i < last; ++i) name_entries.emplace_back(r[i].language, entries + i * kDataEntry);
    }
  }
  std::vector<size_t> data;
  for (const Resource& resource : r) {
    offset = align(offset, 8);
    data.push_back(offset);
    offset += resource.data.size();
  }
  if (offset >= kHighBit) throw std::runtime_error("the resources would take 2 GiB or more");
  Bytes section(align(offset, 8), 0);
  // Directories: each lists its named entries, then its numbered ones.
  auto directory_at = [&](size_t at, const std::vector<std::pair<uint32_t, uint32_t>>& list, size_t first, size_t count) {
    size_t named = 0;
    for (size_t i = 0; i < count; ++i) named += (list[first + i].first & kHighBit) != 0;
    put_u16le(section, at + 12, static_cast<uint16_t>(named));
    put_u16le(section, at + 14, static_cast<uint16_t>(count - named));
    for (size_t i = 0; i < count; ++i) {
      put_u32le(section, at + kDirectoryHeader + i * kDirectoryEntry, list[first + i].first);
      put_u32le(section, at + kDirectoryHeader + i * kDirectoryEntry + 4, list[first + i].second);
    }
  };
  if (types.size() > UINT16_MAX) throw std::runtime_error("too many resource types");
  directory_at(0, root_entries, 0, types.size());
  size_t type_first = 0, name_first = 0;
  name_index = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    if (names[t].size() > UINT16_MAX) throw std::runtime_error("too many resources of one type");
    directory_at(type_dirs[t], type_entries, type_first, names[t].size());
    type_first += names[t].size();
    for (auto [first, last] : names[t]) {
      if (last - first > UINT16_MAX) throw std::runtime_error("too many languages of one resource");
      directory_at(name_dirs[name_index++], name_entries, name_first, last - first);
      name_first += last - first;
    }
  }
  for (size_t i = 0; i < r.size(); ++i) {
    put_u32le(section, entries + i * kDataEntry, va + static_cast<uint32_t>(data[i]));
    put_u32le(section, entries + i * kDataEntry + 4, checked_u32(r[i].data.size(), "a resource"));
    std::copy(r[i].data.begin(), r[i].data.end(), section.begin() + static_cast<std::ptrdiff_t>(data[i]));
  }
  for (auto [text, at] : strings) {
    put_u16le(section, at, static_cast<uint16_t>(text->size()));
    for (size_t i = 0; i < text->size(); ++i) put_u16le(section, at + 2 + 2 * i, (*text)[i]);
  }
  return section;
}

const Section& resource_section(const Bytes& image, const Layout& layout) {
  uint32_t rva = directory(image, layout, kResourceDirectory).first;
  if (rva == 0) throw std::runtime_error("has no resources");
  for (const Section& s : layout.sections) {
    if (s.va == rva) return s;
  }
  throw std::runtime_error("its resources do not begin a section of their own");
}

// Only the base relocations may follow the resource section (they refer to no address in it or
// after it, and nothing refers to them but their directory entry), so that it can grow in place.
void require_movable_tail(const Bytes& image, const Layout& layout, const Section& resources) {
  const char* fixed = "cannot grow its resource section: other data follows it";
  auto [relocations, relocations_size] = directory(image, layout, kRelocationDirectory);
  if (directory(image, layout, kSecurityDirectory).second != 0) throw std::runtime_error("is signed");
  uint64_t resources_raw_end = static_cast<uint64_t>(resources.raw_offset) + resources.raw_size;
  for (const Section& s : layout.sections) {
    if (&s == &resources) continue;
    if (s.va < resources.va) {
      if (s.raw_size != 0 && static_cast<uint64_t>(s.raw_offset) + s.raw_size > resources.raw_offset) {
        throw std::runtime_error(fixed);
      }
    } else if (s.va != relocations || relocations_size > std::max(s.virtual_size, s.raw_size) ||
               (s.raw_size != 0 && s.raw_offset < resources_raw_end)) {
      throw std::runtime_error(fixed);
    }
  }
  for (uint32_t i = 0; i < layout.directory_count && i < 16; ++i) {
    auto [rva, size] = directory(image, layout, i);
    bool moves = i != kResourceDirectory && i != kRelocationDirectory && rva != 0;
    if (moves && static_cast<uint64_t>(rva) + size > resources.va) throw std::runtime_error(fixed);
  }
  if (get_u32le(image, layout.optional + kEntryPointField) >= resources.va) throw std::runtime_error(fixed);
  // Every relocated page lies before the resources.
  for (const Section& s : layout.sections) {
    if (s.va != relocations || relocations == 0) continue;
    size_t at = static_cast<size_t>(s.raw_offset) + (relocations - s.va), end = at + relocations_size;
    while (end - at >= 8) {
      uint32_t page = get_u32le(image, at), block = get_u32le(image, at + 4);
      if (block < 8 || block > end - at) throw std::runtime_error("its base relocations are malformed");
      if (page >= resources.va) throw std::runtime_error(fixed);
      at += block;
    }
  }
}

void add_to_field(Bytes& image, size_t field, int64_t delta) {
  int64_t value = static_cast<int64_t>(get_u32le(image, field)) + delta;
  if (value < 0 || value > UINT32_MAX) throw std::runtime_error("the image would be larger than 4 GiB");
  put_u32le(image, field, static_cast<uint32_t>(value));
}

}  // namespace

std::vector<Resource> read_resources(const Bytes& image) {
  Layout layout = read_layout(image);
  auto [rva, size] = directory(image, layout, kResourceDirectory);
  std::vector<Resource> resources;
  if (rva == 0) return resources;
  for (const Section& s : layout.sections) {
    if (rva < s.va || rva - s.va >= s.raw_size) continue;
    uint64_t begin = static_cast<uint64_t>(s.raw_offset) + (rva - s.va);
    uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(s.raw_offset) + s.raw_size, image.size());
    if (begin >= end) break;
    TreeReader reader(image, static_cast<size_t>(begin), static_cast<size_t>(end - begin), rva);
    Resource path;
    reader.walk(0, 0, path, resources);
    return resources;
  }
  throw std::runtime_error("its resource directory lies outside its sections");
}

Bytes replace_resources(const Bytes& image, std::vector<Resource> resources) {
  Layout layout = read_layout(image);
  if (sections_end(image) != image.size()) throw std::runtime_error("carries data after its image");
  const Section& old = resource_section(image, layout);
  require_movable_tail(image, layout, old);
  uint32_t section_alignment = get_u32le(image, layout.optional + kSectionAlignmentField);
  uint32_t file_alignment = get_u32le(image, layout.optional + kFileAlignmentField);
  if (file_alignment == 0 || section_alignment < file_alignment) throw std::runtime_error("its section alignment is malformed");
  std::sort(resources.begin(), resources.end(), resource_less);
  for (size_t i = 1; i < resources.size(); ++i) {
    if (!resource_less(resources[i - 1], resources[i])) throw std::runtime_error("two resources have the same type, name and language");
  }
  Bytes section = build_section(resources, old.va);
  size_t raw_size = align(section.size(), file_alignment);
  int64_t raw_delta = static_cast<int64_t>(raw_size) - old.raw_size;
  int64_t va_delta = static_cast<int64_t>(align(section.size(), section_alignment)) -
                     static_cast<int64_t>(align(std::max(old.virtual_size, old.raw_size), section_alignment));
  Bytes out(image.begin(), image.begin() + old.raw_offset);
  out.insert(out.end(), section.begin(), section.end());
  out.resize(out.size() + (raw_size - section.size()), 0);
  out.insert(out.end(), image.begin() + static_cast<std::ptrdiff_t>(old.raw_offset + old.raw_size), image.end());
  checked_u32(out.size(), "the image");
  put_u32le(out, old.header + kSectionVirtualSizeField, static_cast<uint32_t>(section.size()));
  put_u32le(out, old.header + kSectionRawSizeField, static_cast<uint32_t>(raw_size));
  for (const Section& s : layout.sections) {
    if (s.va <= old.va) continue;
    add_to_field(out, s.header + kSectionAddressField, va_delta);
    if (s.raw_size != 0) add_to_field(out, s.header + kSectionRawOffsetField, raw_delta);
  }
  put_u32le(out, directory_field(layout, kResourceDirectory) + 4, static_cast<uint32_t>(section.size()));
  if (directory(image, layout, kRelocationDirectory).first != 0) {
    add_to_field(out, directory_field(layout, kRelocationDirectory), va_delta);
  }
  add_to_field(out, layout.optional + kImageSizeField, va_delta);
  add_to_field(out, layout.optional + kInitializedDataSizeField, raw_delta);
  update_pe_checksum(out);
  return out;
}

}  // namespace msiboot_tool
