// Splitting, quiet detection and forwarding of the command line; runs in both builds.
#include "driver/command_line.h"
#include "extract/argument_forwarding.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/heap.h"

namespace {

std::string narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::vector<std::string> split(const char16_t* text) {
  int count = -1;
  char16_t** argv = split_command_line(text, &count);
  EXPECT_NE(argv, nullptr);
  std::vector<std::string> args;
  if (argv == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(narrow(argv[i]));
  EXPECT_EQ(argv[count], nullptr);
  heap_free(argv);
  return args;
}

using Args = std::vector<std::string>;

struct SplitCase {
  const char16_t* text;
  Args expected;
};

TEST(CommandLine, SplitsAsTheInstallerForwardingExpects) {
  const SplitCase cases[] = {
      {u"setup.exe", {"setup.exe"}},
      {u"", {}},
      {u"   ", {}},
      {u"setup.exe /qn TARGETDIR=\"C:\\Program Files\\X\"",
       {"setup.exe", "/qn", "TARGETDIR=C:\\Program Files\\X"}},
      {u"\"C:\\a b\\setup.exe\" /l*v log.txt", {"C:\\a b\\setup.exe", "/l*v", "log.txt"}},
      {u"setup.exe a ", {"setup.exe", "a"}},
      {u"setup.exe x\"\"y", {"setup.exe", "xy"}},
      {u"setup.exe \"\"", {"setup.exe", ""}},
      {u"setup.exe \"\" \"\"", {"setup.exe", "", ""}},
      {u"setup.exe a\"b c\"d", {"setup.exe", "ab cd"}},
      {u"setup.exe \"unclosed rest  of line", {"setup.exe", "unclosed rest  of line"}},
      {u"setup.exe a\\\"b c\"", {"setup.exe", "a\\b c"}},
      {u"a\tb\nc\rd e", {"a", "b", "c", "d", "e"}},
      {u"a\fb\vc", {"a\fb\vc"}},
      {u"a    b\t\t c", {"a", "b", "c"}},
      {u"a b c d e f g h", {"a", "b", "c", "d", "e", "f", "g", "h"}},
      {u"\"\"\"\"", {""}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(split(c.text), c.expected) << "command line: " << narrow(c.text);
  }
}

TEST(CommandLine, WorstCaseTableHoldsEveryArgument) {
  // One-character arguments separated by single blanks fill the pointer table exactly.
  std::u16string text;
  for (int i = 0; i < 501; ++i) text += i ? u" x" : u"x";
  EXPECT_EQ(split(text.c_str()).size(), 501u);
  std::u16string quotes;
  for (int i = 0; i < 300; ++i) quotes += i ? u" \"\"" : u"\"\"";
  EXPECT_EQ(split(quotes.c_str()).size(), 300u);
}

TEST(CommandLine, QuietSwitchesAreFoundInAnyCaseAfterTheProgramName) {
  struct {
    const char16_t* text;
    bool quiet;
  } cases[] = {
      {u"setup.exe", false},         {u"setup.exe /q", true},      {u"setup.exe /QN", true},
      {u"setup.exe a /QuIeT b", true}, {u"/quiet", false},         {u"setup.exe /qb", false},
      {u"setup.exe /quiet2", false}, {u"setup.exe -q", false},     {u"setup.exe \"/q\"", true},
      {u"setup.exe /qn+", false},    {u"setup.exe q", false},      {u"setup.exe /", false},
  };
  for (const auto& c : cases) {
    int count = 0;
    char16_t** argv = split_command_line(c.text, &count);
    ASSERT_NE(argv, nullptr);
    EXPECT_EQ(has_quiet_switch(argv, count), c.quiet) << narrow(c.text);
    heap_free(argv);
  }
  EXPECT_FALSE(has_quiet_switch(nullptr, 3));
}

// Each argument reaches the installer as the one argument it was: split again, the line gives it
// back whole.
TEST(CommandLine, ForwardedArgumentsAreQuotedWhereTheyWouldSplit) {
  struct {
    const char16_t* arg;
    const char* expected;
  } cases[] = {
      {u"/qn", " /qn"},
      {u"TARGETDIR=C:\\Program Files\\X", " \"TARGETDIR=C:\\Program Files\\X\""},
      {u"TARGETDIR=C:\\Program Files\\X\\", " \"TARGETDIR=C:\\Program Files\\X\\\""},
      {u" ", " \" \""},
      {u"INSTALLDIR=C:\\A\tBLOCKINSTALL=1", " \"INSTALLDIR=C:\\A\tBLOCKINSTALL=1\""},
      {u"P=a\n/lv C:\\x.log", " \"P=a\n/lv C:\\x.log\""},
      {u"a\rb", " \"a\rb\""},
      {u"a\vb", " \"a\vb\""},
      {u"a\fb", " \"a\fb\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    char line[64] = "msiexec";
    size_t length = 7;
    EXPECT_EQ(append_forwarded_argument(line, sizeof line, &length, c.arg), 0u);
    EXPECT_EQ(std::string(line + 7), c.expected);
    EXPECT_EQ(length, 7 + std::string(c.expected).size());
    std::u16string back(line, line + length);
    EXPECT_EQ(split(back.c_str()), (Args{"msiexec", narrow(c.arg)}));
  }
  char line[16] = "msiexec";
  size_t length = 7;
  EXPECT_EQ(append_forwarded_argument(line, sizeof line, &length, u""), 0u);
  EXPECT_STREQ(line, "msiexec ");  // an empty argument adds a blank: it would not survive anyway
}

// Nothing is forwarded that the installer would read otherwise than it was given: no look-alike
// (the fullwidth quotation mark would become '"' by best fit on Windows), no default character.
TEST(CommandLine, AnArgumentWithoutAnExactNarrowSpellingIsRefused) {
#ifdef _WIN32
  const bool western = GetACP() == 1252;
  const bool defaults = GetACP() != CP_UTF8;  // UTF-8 writes a lone surrogate as U+FFFD
#else
  const bool western = false;  // the Linux half converts to UTF-8, which spells every character
  const bool defaults = true;
#endif
  const struct {
    const char16_t* arg;
    bool refused;
  } cases[] = {
      {u"PROP=a\uFF02 /lv C:\\x.log \uFF02b", western},
      {u"INSTALLDIR=C:\\\u041F\u0440\u043E\u0433 \uFF0Fpassive", western},
      {u"X=\u00E9", false},
      {u"lone \xD800 surrogate", defaults},
  };
  for (const auto& c : cases) {
    char line[256] = "msiexec";
    size_t length = 7;
    uint32_t result = append_forwarded_argument(line, sizeof line, &length, c.arg);
    EXPECT_EQ(result, c.refused ? 1113u : 0u) << static_cast<int>(c.arg[0]);
    if (c.refused) {
      EXPECT_STREQ(line, "msiexec");
      EXPECT_EQ(length, 7u);
    }
  }
}

TEST(CommandLine, ForwardingNeverCutsTheLine) {
  char line[12] = "msiexec";
  size_t length = 7;
  EXPECT_EQ(append_forwarded_argument(line, sizeof line, &length, u"abc"), 0u);  // " abc" + NUL
  EXPECT_EQ(std::string(line), "msiexec abc");
  EXPECT_EQ(append_forwarded_argument(line, sizeof line, &length, u"d"), 206u);
  EXPECT_EQ(std::string(line), "msiexec abc");
  EXPECT_EQ(length, 11u);
}

}  // namespace
