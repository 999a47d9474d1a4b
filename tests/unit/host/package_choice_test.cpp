// Manifest walk, package passes and item collection over blobs whose manifests the tests write.
#include "payload/package_choice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "container/manifest_writer.h"
#include "files/utf16_text.h"
#include "payload/container.h"
#include "payload/item_collection.h"
#include "payload/manifest.h"
#include "payload/plain_file_name.h"
#include "payload/record_binding.h"
#include "platform/heap.h"
#include "platform/heap_test.h"
#include "platform/text.h"
#include "record_faults.h"
#include "test_bytes.h"
#include "test_manifest.h"

namespace {

using msiboot_tool::binding_field;
using msiboot_test::TestManifest;

constexpr char kCorrupt[] = "The installation file is either corrupted or does not support your "
                            "processor architecture.";

// Blobs in these tests are neither compressed nor signed: each record holds its content as it is.
msiboot_test::TestRecord stored(bool manifest, uint32_t id, Bytes content) {
  return {manifest, id, std::move(content), msiboot_test::RecordFault::StoredUnsigned};
}

Bytes file_content(uint32_t blob, uint32_t id) {
  std::string text = "blob " + std::to_string(blob) + " file " + std::to_string(id);
  return Bytes(text.begin(), text.end());
}

// One blob: its manifest and the file records its container holds (stored plainly, unsigned).
struct BlobLayout {
  Bytes manifest;
  std::vector<uint32_t> file_ids;
};

class PackageChoiceTest : public ::testing::Test {
 protected:
  void install(std::vector<BlobLayout> layouts, uint32_t language) {
    layouts_ = std::move(layouts);
    containers_.clear();
    blobs_.clear();
    for (uint32_t b = 0; b < layouts_.size(); ++b) {
      std::vector<msiboot_test::TestRecord> records{stored(true, 0, layouts_[b].manifest)};
      for (uint32_t id : layouts_[b].file_ids) records.push_back(stored(false, id, file_content(b, id)));
      containers_.push_back(msiboot_test::lay_out_container(records, {}));
    }
    for (uint32_t b = 0; b < layouts_.size(); ++b) {
      PayloadBlob blob = {};
      blob.data = containers_[b].data();
      blob.size = static_cast<uint32_t>(containers_[b].size());
      blob.manifest = layouts_[b].manifest.empty() ? nullptr : layouts_[b].manifest.data();
      blob.manifest_size = static_cast<uint32_t>(layouts_[b].manifest.size());
      blobs_.push_back(blob);
    }
    payload_ = {blobs_.data(), static_cast<uint32_t>(blobs_.size()), nullptr};
    language_ = language;
  }

  Status choose() {
    writer_ = empty_item_writer();
    memset(message_, 0, sizeof message_);
    return choose_package(payload_, &language_, choice_, writer_, kCorrupt, message_,
                          sizeof message_);
  }

  std::vector<std::string> item_names() const {
    std::vector<std::string> names;
    for (int32_t i = 0; i < writer_.count; ++i) names.emplace_back(writer_.items[i].name);
    return names;
  }

  Bytes item_data(int32_t i) const {
    const ExtractItem& item = writer_.items[i];
    return Bytes(item.data, item.data + item.size);
  }

  void free_items() { release_items(writer_); }

  void TearDown() override {
    free_items();
    heap_test_reset();
  }

  std::vector<BlobLayout> layouts_;
  std::vector<Bytes> containers_;
  std::vector<PayloadBlob> blobs_;
  PayloadSet payload_ = {};
  uint32_t language_ = 0;
  PackageChoice choice_ = {};
  ItemWriter writer_ = {};
  char message_[2048] = {};
};

std::string long_text(size_t n) { return std::string(n, 't'); }

std::u16string wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// An entry whose text is given as UTF-16 units, lone surrogates and all.
Bytes units_entry(uint32_t id, const std::u16string& text) {
  Bytes units;
  for (char16_t c : text) units.insert(units.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  return TestManifest().raw_entry(id, static_cast<uint32_t>(units.size()), units).bytes();
}

// A manifest for blob whose entries are bound to the records these tests lay out.
TestManifest manifest(uint32_t blob = 0) {
  return TestManifest([blob](uint32_t id) { return file_content(blob, id); });
}

// A blob holding package entries 1000 and on, of these architectures and languages, and their records.
BlobLayout packages(const std::vector<std::pair<const char*, const char*>>& listed, uint32_t blob = 0) {
  TestManifest written = manifest(blob);
  std::vector<uint32_t> ids;
  for (const auto& [architecture, languages] : listed) {
    ids.push_back(1000 + static_cast<uint32_t>(ids.size()));
    written.package(ids.back(), architecture, languages, "{P}", "T");
  }
  return {written.bytes(), ids};
}

// The binding field of a record of these tests' blobs.
std::string bound(uint32_t blob, uint32_t id) { return binding_field(file_content(blob, id)); }

struct SelectionCase {
  const char* name;
  uint32_t language;
  std::vector<BlobLayout> blobs;
  uint32_t code;                    // 0 or 13
  uint32_t entry_id;                // chosen entry when code is 0
  uint32_t blob_index;
  uint32_t language_after;
  std::vector<std::string> items;   // names of the collected items
};

std::vector<SelectionCase> selection_cases() {
  return {
      {"exact language in pass 1", 1049, {packages({{"x64", "1033;1049"}})}, 0, 1000, 0, 1049, {"main.msi"}},
      {"only English left for pass 3", 1049, {packages({{"x64", "1033"}})}, 0, 1000, 0, 1033, {"main.msi"}},
      {"primary language in pass 2", 2057, {packages({{"x64", "1033"}})}, 0, 1000, 0, 2057, {"main.msi"}},
      {"English user without a third pass", 1033, {packages({{"x64", "1049"}})}, 13, 0, 0, 1033, {}},
      {"high bits ignored, pass 1 beats an earlier pass-2 fit", 1033, {packages({{"x64", "2057"}, {"x64", "66569"}})},
       0, 1001, 0, 1033, {"main.msi"}},
      {"a fitting id 0 ends each pass without a choice", 1049,
       {{manifest()
             .package(0, "x64", "1049", "{Z}", "Z")
             .package(1000, "x64", "1033", "{P}", "T")
             .bytes(),
         {1000}}},
       0, 1000, 0, 1033, {"main.msi"}},
      {"Intel never chosen, X64 in any case", 1033, {packages({{"Intel", "1033"}, {"X64", "1033"}})}, 0, 1001, 0, 1033,
       {"main.msi"}},
      {"Intel only", 1033, {packages({{"Intel", "1033"}})}, 13, 0, 0, 1033, {}},
      {"empty fields and empty texts ignored", 1033,
       {{manifest()
             .entry(1000, "x64\\\\1033\\{E}\\E")
             .entry(1001, "x64\\1033\\\\E")
             .raw_entry(1002, 0, {})
             .raw_entry(1003, 1, {'x'})
             .package(1004, "x64", "1033", "{P}", "T")
             .bytes(),
         {1000, 1001, 1002, 1003, 1004}}},
       0, 1004, 0, 1033, {"main.msi"}},
      {"a 256-character field is ignored, 255 fit", 1033,
       {{manifest()
             .package(1000, "x64", "1033", "{P}", long_text(256))
             .package(1001, "x64", "1033", long_text(256), "T")
             .package(1002, "x64", "1033", "{P}", long_text(255))
             .bytes(),
         {1000, 1001, 1002}}},
       0, 1002, 0, 1033, {"main.msi"}},
      {"first fit in blob order", 1033,
       {packages({{"x64", "1049"}}), packages({{"x64", "1033"}}, 1), packages({{"x64", "1033"}}, 2)}, 0, 1000, 1, 1033,
       {"main.msi"}},
      {"cabinets of the chosen blob only, in walk order, a double listing twice", 1033,
       {{manifest().cabinet(1001, {1000}, "other.cab").bytes(), {1001}},
        {manifest(1)
             .cabinet(1003, {999, 1000}, "first.cab")
             .package(1000, "x64", "1033", "{P}", "T")
             .cabinet(1001, {1000, 1000}, "twice.cab")
             .entry(1002, "CAB\\1000\\upper.cab\\" + bound(1, 1002) + "\\ignored")
             .cabinet(1004, {1001}, "foreign.cab")
             .bytes(),
         {1000, 1001, 1002, 1003, 1004}},
        {manifest(2).cabinet(1001, {1000}, "later.cab").bytes(), {1001}}},
       0, 1000, 1, 1033, {"main.msi", "first.cab", "twice.cab", "twice.cab", "upper.cab"}},
      {"missing cabinet record fails after the whole walk", 1033,
       {{manifest()
             .package(1000, "x64", "1033", "{P}", "T")
             .cabinet(1001, {1000}, "missing.cab")
             .cabinet(1002, {1000}, "present.cab")
             .bytes(),
         {1000, 1002}}},
       13, 1000, 0, 1033, {"main.msi", "missing.cab", "present.cab"}},
      {"a cabinet name that is not a plain file name adds nothing and fails", 1033,
       {{manifest()
             .package(1000, "x64", "1033", "{P}", "T")
             .cabinet(1001, {1000}, "a/b.cab")
             .cabinet(1002, {1000}, "ok.cab")
             .bytes(),
         {1000, 1001, 1002}}},
       13, 1000, 0, 1033, {"main.msi", "ok.cab"}},
      {"a cabinet name the code page cannot spell (a lone surrogate) fails", 1033,
       {{manifest()
             .package(1000, "x64", "1033", "{P}", "T")
             .raw_bytes(units_entry(1001, u"cab\\1000\\a\xD800.cab\\" + wide(bound(0, 1001))))
             .bytes(),
         {1000, 1001}}},
       13, 1000, 0, 1033, {"main.msi"}},
      {"a folder name that is not a plain file name", 1033,
       {{manifest().package(1000, "x64", "1033", "..", "T").bytes(), {1000}}},
       13, 1000, 0, 1033, {}},
      {"missing package record", 1033, {{packages({{"x64", "1033"}}).manifest, {}}}, 13, 1000, 0, 1033, {}},
      {"malformed second entry ends the walk before later blobs", 1033,
       {{manifest()
             .package(1000, "x64", "1049", "{A}", "A")
             .raw_entry(1001, 100, {1, 0, 2, 0})
             .bytes(),
         {1000}},
        packages({{"x64", "1033"}}, 1)},
       13, 0, 0, 1033, {}},
      {"empty manifest skipped", 1033, {{{}, {}}, packages({{"x64", "1033"}}, 1)}, 0, 1000, 1, 1033, {"main.msi"}},
  };
}

TEST_F(PackageChoiceTest, SelectionTable) {
  for (const SelectionCase& c : selection_cases()) {
    SCOPED_TRACE(c.name);
    install(c.blobs, c.language);
    Status status = choose();
    EXPECT_EQ(status_code(status), c.code);
    EXPECT_EQ(status_site(status), kSitePackageChoice);
    EXPECT_EQ(choice_.entry_id, c.entry_id);
    EXPECT_EQ(language_, c.language_after);
    EXPECT_EQ(item_names(), c.items);
    if (c.code == 0) {
      EXPECT_EQ(choice_.blob_index, c.blob_index);
      EXPECT_STREQ(message_, "");
      EXPECT_EQ(item_data(0), file_content(c.blob_index, c.entry_id));
    } else {
      EXPECT_STREQ(message_, kCorrupt);
    }
    free_items();
  }
}

TEST_F(PackageChoiceTest, ChosenEntryFieldsAndCabinetContents) {
  // A title in the writing of a code page whose characters may end in the byte 0x5C, and fields
  // after the binding, which no reader looks at.
  const std::string title = "\xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB\xE3\x83\xBB\xE3\x82\xBD\xE8\xA1\xA8";
  install({{manifest()
                .entry(1000, msiboot_tool::package_text("x64", "1033", "{GUID}", title, bound(0, 1000)) + "\\extra")
                .cabinet(1001, {1000}, "data1.cab")
                .bytes(),
            {1000, 1001}}},
          1033);
  ASSERT_EQ(status_code(choose()), 0u);
  EXPECT_STREQ(choice_.architecture, "x64");
  EXPECT_STREQ(choice_.languages, "1033");
  EXPECT_STREQ(choice_.folder, "{GUID}");
  EXPECT_EQ(choice_.title, title);
  EXPECT_EQ(std::u16string(choice_.title_units), u"\u30B5\u30F3\u30D7\u30EB\u30FB\u30BD\u8868");
  ASSERT_EQ(writer_.count, 2);
  EXPECT_EQ(item_data(1), file_content(0, 1001));
  EXPECT_EQ(writer_.items[1].handle, nullptr);
  EXPECT_EQ(writer_.items[1].written, 0u);
}

TEST_F(PackageChoiceTest, FailureTextIsNeverCutOff) {
  install({}, 1033);
  char small[16];
  memset(small, 'x', sizeof small);
  Status status = choose_package(payload_, &language_, choice_, writer_, kCorrupt, small, sizeof small);
  EXPECT_EQ(status, status_of(13, kSitePackageChoice));
  EXPECT_STREQ(small, "");
}

TEST_F(PackageChoiceTest, EveryOutOfMemoryPathFailsCleanly) {
  install({{manifest()
                .package(1000, "x64", "1049", "{A}", "A")
                .package(1001, "x64", "1033", "{P}", "T")
                .cabinet(1002, {1001}, "a.cab")
                .cabinet(1003, {1001}, "b.cab")
                .bytes(),
            {1000, 1001, 1002, 1003}}},
          1033);
  size_t baseline = heap_test_live_blocks();
  heap_test_reset();
  ASSERT_EQ(status_code(choose()), 0u);
  size_t calls = heap_test_calls();
  free_items();
  ASSERT_EQ(heap_test_live_blocks(), baseline);
  int failures = 0;
  for (size_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE(n);
    language_ = 1033;
    heap_test_fail_at(n);
    Status status = choose();
    heap_test_reset();
    if (status_failed(status)) {
      ++failures;
      EXPECT_EQ(status, status_of(13, kSitePackageChoice));
      EXPECT_STREQ(message_, kCorrupt);
    }
    free_items();
    EXPECT_EQ(heap_test_live_blocks(), baseline);
  }
  EXPECT_GT(failures, 0);
}

std::string narrow(const ManifestUnits& text) {
  std::string out(3 * text.count, '\0');
  out.resize(static_cast<size_t>(utf16_to_narrow(text.units, static_cast<int>(text.count), out.data(),
                                                 static_cast<int>(out.size()))));
  return out;
}

// Records what the walk hands to its callback.
struct Seen {
  std::vector<std::pair<uint32_t, uint32_t>> entries;  // blob index, entry id
  std::vector<std::string> texts;
  size_t stop_after = 0;  // 0: never stop
};

int record_entry(uint32_t blob_index, const ManifestEntry& entry, void* context) {
  auto* seen = static_cast<Seen*>(context);
  seen->entries.emplace_back(blob_index, entry.id);
  seen->texts.push_back(narrow(entry.text));
  return seen->stop_after == 0 || seen->entries.size() < seen->stop_after;
}

TEST_F(PackageChoiceTest, WalkDecodesEntriesAndStopsWhereTheManifestEnds) {
  Bytes odd = msiboot_tool::utf16le("ab", false);
  odd.push_back('c');  // an odd last byte is not a unit
  install({{TestManifest()
                .entry(7, "x\xC3\xA9y", true)
                .entry(8, "no terminator", false)
                .raw_entry(9, 3, {'a', 0, 'c'})
                .raw_entry(10, static_cast<uint32_t>(odd.size()), odd)
                .entry(11, std::string("ab\0cd", 5), true)
                .bytes(),
            {}},
           {TestManifest().entry(20, "second").raw_bytes({1, 2, 3, 4, 5, 6, 7}).bytes(), {}},
           {TestManifest().entry(30, "never").bytes(), {}}},
          1033);
  Seen seen;
  walk_manifest(payload_, record_entry, &seen);
  using Entry = std::pair<uint32_t, uint32_t>;
  EXPECT_EQ(seen.entries, (std::vector<Entry>{{0, 7}, {0, 8}, {0, 9}, {0, 10}, {0, 11}, {1, 20}}));
  EXPECT_EQ(seen.texts,
            (std::vector<std::string>{"x\xC3\xA9y", "no terminator", "a", "ab", "ab", "second"}));

  Seen stopping;
  stopping.stop_after = 2;
  walk_manifest(payload_, record_entry, &stopping);
  EXPECT_EQ(stopping.entries.size(), 2u);
}

TEST_F(PackageChoiceTest, RecordsMustBeTheOnesTheirEntriesWerePackedWith) {
  struct Case {
    const char* name;
    std::string package_binding, cabinet_binding;
    uint32_t code;
  };
  Bytes short_by_one = file_content(0, 1000);
  short_by_one.pop_back();
  std::string wrong_size = bound(0, 1000);
  wrong_size = wrong_size.substr(0, wrong_size.find(':') + 1) + std::to_string(short_by_one.size());
  const Case cases[] = {
      {"both bound and matching", bound(0, 1000), bound(0, 1001), 0},
      {"unbound entries, as no released writer makes them", "", "", 13},
      {"an unbound cabinet", bound(0, 1000), "", 13},
      {"a field after the fields that is no binding", "note=1", "x", 13},
      {"the records' ids swapped", bound(0, 1001), bound(0, 1000), 13},
      {"the cabinet's record is another one", bound(0, 1000), bound(0, 1000), 13},
      {"a record from another bundle", bound(1, 1000), bound(0, 1001), 13},
      {"a record shorter than its entry says", binding_field(short_by_one), bound(0, 1001), 13},
      {"a record longer than its entry says", wrong_size, bound(0, 1001), 13},
      {"a binding without its first letter", bound(0, 1000).substr(1), bound(0, 1001), 13},
      {"a malformed binding", "sha256=" + std::string(64, 'g') + ":1", bound(0, 1001), 13},
      {"a binding without its size", bound(0, 1000).substr(0, 71), bound(0, 1001), 13},
      {"a size past 32 bits", bound(0, 1000).substr(0, 72) + "4294967296", bound(0, 1001), 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install({{TestManifest()
                  .package(1000, "x64", "1033", "{P}", "T", c.package_binding)
                  .cabinet(1001, {1000}, "data1.cab", c.cabinet_binding)
                  .bytes(),
              {1000, 1001}}},
            1033);
    Status status = choose();
    EXPECT_EQ(status, status_of(c.code, kSitePackageChoice));
    if (c.code == 0) {
      ASSERT_EQ(writer_.count, 2);
      EXPECT_EQ(item_data(0), file_content(0, 1000));
      EXPECT_EQ(item_data(1), file_content(0, 1001));
    }
    free_items();
  }
}

TEST_F(PackageChoiceTest, ANameListedTwiceWithDifferentContentsIsCorrupt) {
  struct Case {
    const char* name;
    Bytes manifest;
    uint32_t code;
    std::vector<std::string> items;
  };
  // The package 1000 and cabinets 1001 and on, each listing the packages given.
  auto bundle = [](const std::vector<std::pair<std::vector<uint32_t>, const char*>>& cabinets) {
    TestManifest written = manifest().package(1000, "x64", "1033", "{P}", "T");
    uint32_t id = 1001;
    for (const auto& [listed, name] : cabinets) written.cabinet(id++, listed, name);
    return written.bytes();
  };
  const Case cases[] = {
      {"one record listed twice: written once", bundle({{{1000, 1000}, "a.cab"}}), 0, {"main.msi", "a.cab", "a.cab"}},
      {"two records under one name", bundle({{{1000}, "a.cab"}, {{1000}, "A.CAB"}}), 13, {"main.msi", "a.cab", "A.CAB"}},
      {"a cabinet named like the package", bundle({{{1000}, "Main.msi"}}), 13, {"main.msi", "Main.msi"}},
      {"names that differ", bundle({{{1000}, "a.cab"}, {{1000}, "a.cab2"}}), 0, {"main.msi", "a.cab", "a.cab2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install({{c.manifest, {1000, 1001, 1002}}}, 1033);
    EXPECT_EQ(choose(), status_of(c.code, kSitePackageChoice));
    EXPECT_EQ(item_names(), c.items);  // a failed choice leaves its items for the clean-up
    free_items();
  }
}

ManifestEntry read_entry(const std::u16string& text) {
  static Bytes units;  // the entry points into its text
  units.clear();
  for (char16_t c : text) units.insert(units.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  ManifestEntry entry;
  read_manifest_entry(7, units.data(), static_cast<uint32_t>(units.size()), entry);
  return entry;
}

TEST(ManifestEntry, KindFieldsAndBindingReadOnTheUtf16Text) {
  const std::u16string digest(64, 'a');
  const std::u16string binding = u"sha256=" + digest + u":12";
  // 255 and 256 bytes in UTF-8, the longest ANSI spelling of any text.
  const std::u16string t255(85, u'\u30BD'), t256 = std::u16string(85, u'\u30BD') + u"t";
  std::u16string pairs;  // 63 characters beyond the first plane: 252 bytes
  for (int i = 0; i < 63; ++i) pairs += u"\U0001F600";
  struct Case {
    std::u16string text;
    uint32_t kind;
    std::vector<std::u16string> fields;
    uint32_t binding;
    uint32_t size;
  };
  const Case cases[] = {
      {u"x64\\1033\\{P}\\T\\" + binding, kEntryPackage, {u"x64", u"1033", u"{P}", u"T"}, kBindingPresent, 12},
      {u"x64\\1033\\{P}\\T\\sha256=" + digest + u":4294967295\\later", kEntryPackage, {}, kBindingPresent,
       0xFFFFFFFF},
      {u"CaB\\1000\\a.cab\\sha256=" + digest + u":0", kEntryCabinet, {u"CaB", u"1000", u"a.cab"}, kBindingPresent, 0},
      {u"cab\\1000\\a.cab\\x\\" + binding, kEntryCabinet, {}, kBindingAbsent, 0},
      {u"cab\\1000\\a.cab\\" + t256, kEntryCabinet, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\" + t255 + u"\\" + binding, kEntryPackage, {u"x64", u"1033", u"{P}", t255},
       kBindingPresent, 12},
      {u"x64\\1033\\{P}\\" + t256 + u"\\" + binding, kEntryUnread, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\" + pairs + u"abc\\" + binding, kEntryPackage, {}, kBindingPresent, 12},
      {u"x64\\1033\\{P}\\" + pairs + u"ab\xE9\\" + binding, kEntryUnread, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\T\\" + t256, kEntryPackage, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\T", kEntryPackage, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\T\\", kEntryPackage, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\T\\\\" + binding, kEntryPackage, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\T\\other=1\\" + binding, kEntryPackage, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\T\\SHA256=" + digest + u":1", kEntryPackage, {}, kBindingAbsent, 0},
      {u"x64\\1033\\{P}\\T\\sha256=" + digest + u":", kEntryPackage, {}, kBindingMalformed, 0},
      {u"x64\\1033\\{P}\\T\\sha256=" + digest + u":12x", kEntryPackage, {}, kBindingMalformed, 0},
      {u"x64\\1033\\{P}\\T\\sha256=" + digest.substr(1) + u":12", kEntryPackage, {}, kBindingMalformed, 0},
      {u"x64\\1033\\{P}\\T\\sha256=" + digest + u":4294967296", kEntryPackage, {}, kBindingMalformed, 0},
      {u"x64\\1033\\\\T\\" + binding, kEntryUnread, {}, kBindingAbsent, 0},
      {u"a\\b\\c", kEntryUnread, {}, kBindingAbsent, 0},
      {u"\\a\\b\\c\\d", kEntryUnread, {}, kBindingAbsent, 0},
      {std::u16string(u"x64\\1033\\{P}\0\\T", 14), kEntryUnread, {}, kBindingAbsent, 0},
      {u"", kEntryUnread, {}, kBindingAbsent, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.begin() + std::min<size_t>(c.text.size(), 40)));
    ManifestEntry entry = read_entry(c.text);
    EXPECT_EQ(entry.kind, c.kind);
    EXPECT_EQ(entry.binding.state, c.binding);
    if (c.binding == kBindingPresent) {
      EXPECT_EQ(entry.binding.size, c.size);
      EXPECT_EQ(entry.binding.digest[0], 0xAA);
      EXPECT_EQ(entry.binding.digest[31], 0xAA);
    }
    for (size_t i = 0; i < c.fields.size(); ++i) {
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(entry.units[i].units), entry.units[i].count),
                c.fields[i]);
      EXPECT_EQ(entry.fields[i], narrow(entry.units[i]));
      EXPECT_TRUE(field_is_exact(entry, static_cast<uint32_t>(i)));
    }
  }
  ManifestEntry mixed = read_entry(u"cab\\1\\a\\sha256=0123456789ABCDEFabcdef" + std::u16string(42, '0') + u":5");
  EXPECT_EQ(mixed.binding.state, kBindingPresent);
  EXPECT_EQ(mixed.binding.digest[0], 0x01);
  EXPECT_EQ(mixed.binding.digest[7], 0xEF);
  EXPECT_EQ(mixed.binding.digest[10], 0xEF);
  EXPECT_FALSE(field_is_exact(read_entry(u"cab\\1\\a\xDC00"), kFieldFile));
}

TEST(ManifestFields, ListedNumbersReadLikePercentU) {
  struct Case {
    const char* list;
    std::vector<uint32_t> numbers;
  };
  const Case cases[] = {
      {"1033;1049", {1033, 1049}},
      {" 1033; \t1049x;;x2;+7", {1033, 1049, 7}},
      {"", {}},
      {";;;", {}},
      {"66569", {66569}},
      {"-1", {0xFFFFFFFF}},
      {"99999999999;5", {0xFFFFFFFF, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    std::vector<uint32_t> numbers;
    const char* cursor = c.list;
    uint32_t number = 0;
    while (next_listed_number(&cursor, &number)) numbers.push_back(number);
    EXPECT_EQ(numbers, c.numbers);
  }
}

TEST(ItemNames, OnlyPlainFileNamesNameAFileInTheFolder) {
  const std::pair<const char*, bool> cases[] = {
      {"data1.cab", true}, {"x..y.cab", true}, {".cab", true}, {"\xC3\xA9.cab", true},
      {"\xE3\x82\xBD\xE8\xA1\xA8.cab", true},  // characters whose code page 932 bytes end in 0x5C
      {"", false}, {".", false}, {"..", false}, {"a/b.cab", false}, {"a\\b.cab", false},
      {"x.cab:s", false}, {"C:x.cab", false}, {"x\t.cab", false}, {"x\x1F.cab", false},
      {"x\x7F.cab", false}, {"nul.cab", false}, {"CON", false}, {"com1.txt", false},
      {"Lpt9", false}, {"aux .cab", false}, {"COM0.cab", true}, {"console", true},
      {"x.cab.", false}, {"x.cab ", false}, {"a<b", false}, {"a>b", false}, {"a\"b", false},
      {"a|b", false}, {"a?.cab", false}, {"a*.cab", false},
  };
  for (const auto& [name, plain] : cases) {
    Bytes units = msiboot_tool::utf16le(name, false);
    EXPECT_EQ(is_plain_file_name({units.data(), static_cast<uint32_t>(units.size() / 2)}), plain) << name;
  }
}

TEST(PackageEntry, NullContextAndCabinetTextsAreNotChosen) {
  EXPECT_EQ(select_package_entry(0, read_entry(u"x64\\1033\\{P}\\T"), nullptr), 1);
  PackageChoice choice = {};
  choice.language = 1033;
  EXPECT_EQ(select_package_entry(0, read_entry(u"cab\\1033\\x.cab\\T"), &choice), 1);
  EXPECT_EQ(select_package_entry(0, read_entry(u"x64\\1033\\{P}\\T"), &choice), 0);
  EXPECT_EQ(choice.entry_id, 7u);
}

}  // namespace
