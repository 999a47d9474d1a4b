// Branding the built stub: a resource section that grows past its old size moves the base
// relocations and reads back whole; the resource tree and version information that inspect reads
// from a setup.exe are untrusted, and every damaged byte of them gives an error or a report. The
// publisher's icon files and versions are read, or refused saying why. The stub's messages are
// given the languages asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>

#include "branding/branding_report.h"
#include "branding/message_translations.h"
#include "branding/stub_branding.h"
#include "branding/stub_languages.h"
#include "files/file_bytes.h"
#include "files/tool_error.h"
#include "files/utf16_text.h"
#include "payload/pe_layout.h"
#include "pe/certificate_table.h"
#include "pe/resources.h"
#include "pe/string_tables.h"

namespace {

using namespace msiboot_tool;

TEST(StubBranding, AGrownSectionReadsBackAndDamageToItIsAnErrorOrAReport) {
  if (!std::filesystem::exists(MSIBOOT_STUB)) GTEST_SKIP() << "no windows build at " << MSIBOOT_STUB;
  const Bytes stub = read_file_bytes(MSIBOOT_STUB);
  // A 256 px bitmap image (its header only matters here) makes the section four times larger.
  IconImage large{0, 0, 0, 1, 32, Bytes(256 * 256 * 4 + 40, 0x5A)};
  StubBranding branding{{large}, VersionFields{{{3, 1, 4, 1}}, "Product", "Company", "", "© Someone"}};
  const Bytes branded = brand_stub(stub, branding);
  EXPECT_EQ(sections_end(branded), branded.size());
  BrandingReport shown = read_branding(branded);
  ASSERT_EQ(shown.icon.size(), 1u);
  EXPECT_EQ(shown.icon[0].width, 256u);
  ASSERT_TRUE(shown.version);
  EXPECT_EQ(version_text(shown.version->file_version), "3.1.4.1");
  EXPECT_EQ(shown.version->strings.back(), (std::pair<std::string, std::string>{"ProductVersion", "3.1.4.1"}));
  // Branding it again with the same inputs changes nothing.
  EXPECT_EQ(brand_stub(branded, branding), branded);

  // Every byte of the tree's directories, entries, names and the version resource, damaged.
  for (const Resource& r : read_resources(branded)) {
    if (r.type.id == kResourceVersion) {
      for (size_t i = 0; i < r.data.size(); ++i) {
        Bytes damaged = r.data;
        damaged[i] ^= 0xA5;
        try { read_version_resource(damaged); } catch (const std::runtime_error&) {}
      }
    }
  }
  const Bytes rsrc = {'.', 'r', 's', 'r', 'c'};
  size_t header = std::search(branded.begin(), branded.end(), rsrc.begin(), rsrc.end()) - branded.begin();
  const size_t tree = get_u32le(branded, header + pe_layout::kSectionRawOffsetField);
  for (size_t i = tree; i < tree + 0x400; ++i) {
    for (uint8_t value : {0x00, 0x7F, 0xFF}) {
      Bytes damaged = branded;
      damaged[i] = value;
      try { read_branding(damaged); } catch (const std::runtime_error&) {}
    }
  }
}

// An icon file of one image: its directory entry (width 16, bit count as given) and its bytes.
Bytes icon_file(const Bytes& image, uint16_t bit_count, uint16_t type = 1, uint16_t count = 1) {
  Bytes ico = {0, 0, static_cast<uint8_t>(type), 0, static_cast<uint8_t>(count), 0, 16, 16, 0, 0, 1, 0,
               static_cast<uint8_t>(bit_count), 0};
  append_u32le(ico, static_cast<uint32_t>(image.size()));
  append_u32le(ico, 22);
  ico.insert(ico.end(), image.begin(), image.end());
  return ico;
}

TEST(IconFile, ImagesAreReadOrTheFileIsRefusedSayingWhy) {
  Bytes bitmap(40 + 16 * 16 * 4, 0);
  put_u32le(bitmap, 0, 40);
  put_u16le(bitmap, 14, 24);  // the bitmap's own bit count
  const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};
  Bytes outside = icon_file(png, 32);
  put_u32le(outside, 14, 1000);
  struct Case {
    const char* name;
    Bytes ico;
    uint16_t bit_count;  // of the one image read
    const char* refusal = "";
  };
  const Case cases[] = {
      {"a bitmap, its depth left 0", icon_file(bitmap, 0), 24},
      {"a PNG, its depth left 0", icon_file(png, 0), 32},
      {"a PNG of 8 bits", icon_file(png, 8), 8},
      {"a cursor", icon_file(png, 32, 2), 0, "is a cursor file, not an icon file"},
      {"no image", icon_file({}, 0, 1, 0), 0, "the icon file holds no images"},
      {"a directory cut short", icon_file(png, 32, 1, 2), 0, "not an icon file (its directory is cut short)"},
      {"an image outside", outside, 0, "image 1 of the icon file lies outside the file"},
      {"neither", icon_file(Bytes(50, 7), 32), 0, "image 1 of the icon file is neither PNG nor a bitmap"},
      {"a text", {'t', 'e', 'x', 't', '\n', 0}, 0, "not an icon file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      std::vector<IconImage> images = read_icon_file(c.ico);
      ASSERT_EQ(images.size(), 1u);
      EXPECT_EQ(images[0].bit_count, c.bit_count);
      EXPECT_EQ(images[0].planes, 1);
      EXPECT_STREQ(c.refusal, "");
    } catch (const ToolError& e) {
      EXPECT_EQ(e.reason(), c.refusal);
    }
  }
}

// The stub with its resource tree replaced by one whose type entries all name one string as long
// as the section allows: read whole for each entry, it would cost the section's size squared.
Bytes stub_with_repeated_names(Bytes stub) {
  const Bytes rsrc = {'.', 'r', 's', 'r', 'c'};
  size_t header = std::search(stub.begin(), stub.end(), rsrc.begin(), rsrc.end()) - stub.begin();
  const size_t tree = get_u32le(stub, header + pe_layout::kSectionRawOffsetField);
  const size_t size = get_u32le(stub, header + pe_layout::kSectionRawSizeField);
  const size_t entries = size / 2 / 8, empty = 16 + 8 * entries, name = empty + 16, length = (size - name) / 2 - 1;
  std::fill(stub.begin() + tree, stub.begin() + tree + size, 0);
  put_u16le(stub, tree + 12, static_cast<uint16_t>(entries));
  for (size_t i = 0; i < entries; ++i) {
    put_u32le(stub, tree + 16 + 8 * i, static_cast<uint32_t>(0x80000000 | name));
    put_u32le(stub, tree + 20 + 8 * i, static_cast<uint32_t>(0x80000000 | empty));
  }
  put_u16le(stub, tree + name, static_cast<uint16_t>(std::min<size_t>(length, 0xFFFF)));
  return stub;
}

// Files made to cost the tool far more than their size are refused at once.
TEST(HostileInput, EachFileMadeToCostMoreThanItsSizeIsRefused) {
  if (!std::filesystem::exists(MSIBOOT_STUB)) GTEST_SKIP() << "no windows build at " << MSIBOOT_STUB;
  Bytes bitmap(40 + 64 * 64 * 4, 0);
  put_u32le(bitmap, 0, 40);
  Bytes one_image_named_often = icon_file(bitmap, 32, 1, 1000);
  one_image_named_often.insert(one_image_named_often.begin() + 22, 999 * 16, 0);
  for (size_t i = 0; i < 1000; ++i) {
    std::copy(one_image_named_often.begin() + 6, one_image_named_often.begin() + 22, one_image_named_often.begin() + 6 + 16 * i);
    put_u32le(one_image_named_often, 6 + 16 * i + 12, 6 + 1000 * 16);
  }
  const Bytes names = stub_with_repeated_names(read_file_bytes(MSIBOOT_STUB));
  const struct {
    const char* name;
    std::function<void()> read;
    const char* refusal;
  } cases[] = {
      {"a resource tree naming one long string in every entry", [&] { read_resources(names); },
       "its resource names add up to more than its resource section"},
      {"an icon directory naming one image a thousand times", [&] { read_icon_file(one_image_named_often); },
       "the icon file's images overlap each other or its directory"},
      {"a branding text with an escape sequence", [] { check_version_text("Sample\x1b[2J"); },
       "holds a control character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.read();
      ADD_FAILURE() << "read";
    } catch (const ToolError& e) {
      EXPECT_EQ(e.reason(), c.refusal);
    }
  }
}

TEST(VersionInfo, VersionsAreParsedAndTheResourceReadsBack) {
  struct Case {
    const char* text;
    bool fewer_parts;
    FourPartVersion version;  // {} with valid false: refused
    bool valid = true;
  };
  const Case cases[] = {
      {"1.2.3.4", false, {1, 2, 3, 4}},      {"65535.0.0.7", false, {65535, 0, 0, 7}},
      {"1.2.3", true, {1, 2, 3, 0}},         {"1.2.3", false, {}, false},
      {"1.2.3.65536", false, {}, false},     {"1..2.3", false, {}, false},
      {"1.2.3.4.5", true, {}, false},        {"", true, {}, false},
      {"v1.2", true, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      EXPECT_EQ(parse_version(c.text, c.fewer_parts), c.version);
      EXPECT_TRUE(c.valid);
    } catch (const ToolError& e) {
      EXPECT_FALSE(c.valid) << e.reason();
    }
  }
  const VersionReport read = read_version_resource(version_resource({{{2, 5, 0, 17}}, "Prödukt", "", "Setup", "©"}));
  EXPECT_EQ(read.file_version, (FourPartVersion{2, 5, 0, 17}));
  EXPECT_EQ(read.product_version, read.file_version);
  EXPECT_EQ(read.strings, (std::vector<std::pair<std::string, std::string>>{
                              {"FileDescription", "Setup"}, {"FileVersion", "2.5.0.17"}, {"LegalCopyright", "©"},
                              {"ProductName", "Prödukt"}, {"ProductVersion", "2.5.0.17"}}));
  EXPECT_THROW(check_version_text(std::string(4097, 'x')), ToolError);
  EXPECT_THROW(check_version_text("Caf\xC3("), ToolError);
}

}  // namespace

// The blocks pack writes for a bundle's languages: each under the language listed and the display
// languages that read its translation, the publisher's texts winning; English is the stub's own.
TEST(StubLanguages, EachListedLanguageGetsItsTranslationUnderTheDisplayLanguagesThatReadIt) {
  if (!std::filesystem::exists(MSIBOOT_STUB)) GTEST_SKIP() << "no windows build at " << MSIBOOT_STUB;
  const Bytes stub = read_file_bytes(MSIBOOT_STUB);
  const std::string russian = translation_for(1049)->texts[1], spanish = translation_for(3082)->texts[1];
  const std::string traditional = translation_for(1028)->texts[1], brazilian = translation_for(1046)->texts[1];
  const std::string english = "The installation file is either corrupted or does not support your processor architecture.";
  PublisherTexts own;
  own[1061][1] = "Paigaldusfail on rikutud.";
  own[3082][1] = "Texto propio.";
  struct Case {
    std::vector<uint32_t> listed;
    PublisherTexts texts;
    std::map<uint16_t, std::string> corrupt;  // every block's string 101
    std::vector<uint32_t> untranslated;
  };
  const std::vector<Case> cases = {
      {{1033, 2057}, {}, {{1033, english}}, {}},
      {{1049, 1033}, {}, {{1033, english}, {1049, russian}}, {}},
      {{2058}, {}, {{1033, english}, {2058, spanish}, {3082, spanish}}, {}},
      {{2070, 5124, 1061}, {}, {{1028, traditional}, {1033, english}, {1046, brazilian}, {2070, brazilian},
                                {3076, traditional}, {5124, traditional}}, {1061}},
      {{3082}, own, {{1033, english}, {1061, own[1061][1].value()}, {2058, "Texto propio."}, {3082, "Texto propio."}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed.front());
    std::vector<uint32_t> untranslated;
    const Bytes spoken = add_stub_languages(stub, c.listed, c.texts, &untranslated);
    EXPECT_EQ(untranslated, c.untranslated);
    std::map<uint16_t, std::string> corrupt;
    for (const Resource& r : read_resources(spoken)) {
      if (r.type.id != kResourceString || r.name.id != 7) continue;
      const StringBlock block = parse_string_block(r.data);
      EXPECT_FALSE(block[4].empty() || block[6].empty()) << r.language;
      Bytes units;
      for (char16_t unit : block[5]) append_u16le(units, unit);
      corrupt[r.language] = utf8_text(units.data(), block[5].size());
    }
    EXPECT_EQ(corrupt, c.corrupt);
    std::vector<uint16_t> languages;
    for (const auto& entry : c.corrupt) languages.push_back(entry.first);
    EXPECT_EQ(read_branding(spoken).message_languages, languages);
  }
  EXPECT_EQ(add_stub_languages(stub, {1033}, {}, nullptr), stub);
  // Every translation fits the stub's buffers: asking for all of them throws nothing.
  EXPECT_EQ(read_branding(add_stub_languages(stub, parse_ui_languages("all"), {}, nullptr)).message_languages.size(), 18u);
}

// The publisher's texts file: comments, blank lines and CRLF pass; anything else names its line,
// and a text the stub's buffer cannot hold whole is refused, never cut.
TEST(StubLanguages, APublishersTextsFileIsReadOrRefusedNamingTheLine) {
  const std::string path = testing::TempDir() + "texts.txt";
  const std::string japanese_a = "\xE3\x81\x82";  // one character, two bytes in code page 932
  std::string too_long;
  for (int i = 0; i < 128; ++i) too_long += japanese_a;
  struct Case {
    std::string text, error;  // error empty: read
  };
  for (const Case& c : std::vector<Case>{
           {"# ours\r\n\r\n1061 corrupt Paigaldusfail on rikutud.\r\n1061 browse-title Vali kaust:\n", ""},
           {"1061 bogus x\n", "line 1: \"bogus\" is not no-installer, corrupt or browse-title"},
           {"\n1061corrupt\n", "line 2: give LANGUAGE NAME TEXT"},
           {"abc corrupt x\n", "line 1: \"abc\" is not a language"},
           {"1041 corrupt " + too_long + "\n", "line 1: the corrupt text takes up to 256 bytes; the stub has room for 255"},
       }) {
    SCOPED_TRACE(c.text);
    std::ofstream(path, std::ios::binary) << c.text;
    try {
      PublisherTexts texts = read_publisher_texts(path);
      EXPECT_EQ(c.error, "");
      EXPECT_EQ(texts[1061][1], "Paigaldusfail on rikutud.");
      EXPECT_EQ(texts[1061][2], "Vali kaust:");
      EXPECT_FALSE(texts[1061][0]);
    } catch (const ToolError& e) {
      EXPECT_NE(c.error, "");
      EXPECT_EQ(std::string(e.what()).rfind(path + ": " + c.error, 0), 0u) << e.what();
    }
  }
}
