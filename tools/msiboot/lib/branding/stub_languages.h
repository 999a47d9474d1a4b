#pragma once
// The languages the stub speaks: its three messages are one string-table block per language, and
// Windows shows the block of the user's display language (English where there is none). The
// released stub holds English only; the tool adds the blocks of the languages a bundle lists, or
// those asked for, from its translations or the publisher's own texts.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "files/byte_buffer.h"
#include "pe/resources.h"

namespace msiboot_tool {

// The publisher's texts: for each language, each message given (100, 101, 102).
using PublisherTexts = std::map<uint16_t, std::array<std::optional<std::string>, 3>>;

// A texts file: UTF-8, one text a line as "LANGUAGE NAME TEXT" with NAME no-installer, corrupt or
// browse-title ("1061 corrupt Paigaldusfail on rikutud."); empty lines and lines starting with '#'
// are skipped. Throws ToolError naming the file and line of anything else, and of a text longer
// than the stub's buffer takes.
PublisherTexts read_publisher_texts(const std::string& path);

// --ui-languages: identifiers as --languages takes them, or "all" for every translation.
std::vector<uint32_t> parse_ui_languages(const std::string& list);

// The stub with a message block for each language (the publisher's texts where given, else the
// translation, else the stub's English) and for each language of texts. A language neither has is
// left out and returned in untranslated; English identifiers are left to the stub's own block.
Bytes add_stub_languages(const Bytes& stub, const std::vector<uint32_t>& languages, const PublisherTexts& texts,
                         std::vector<uint32_t>* untranslated);

// The languages of the stub's message block among its resources, ascending.
std::vector<uint16_t> stub_languages(const std::vector<Resource>& resources);

}  // namespace msiboot_tool
