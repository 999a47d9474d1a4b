// Message texts built from real system texts under the platform's message tables.
#include "shared/win/status_message.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "driver/win/final_report.h"
#include "shared/status.h"

namespace {

// The system's own text for a code, as FormatMessage gives it, or "" when it has none.
std::string system_text(uint32_t code) {
  char buffer[2048] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0x400, buffer, sizeof buffer, nullptr);
  return std::string(buffer, n);
}

std::string format(uint32_t code, const char* context, size_t size = 2048) {
  std::string buffer(size, '\x7f');
  int n = format_status_message(code, buffer.data(), size, context);
  std::string text(buffer.c_str());
  EXPECT_EQ(static_cast<size_t>(n), text.size());
  return text;
}

constexpr uint32_t kCodeWithoutText = 0x2000DEAD;

TEST(StatusMessage, CodeWithoutSystemTextFallsBackToErrorAndNumber) {
  ASSERT_EQ(system_text(kCodeWithoutText), "");
  EXPECT_EQ(format(kCodeWithoutText, nullptr), "Error 536927917");
  EXPECT_EQ(format(kCodeWithoutText, ""), "Error 536927917");
  EXPECT_EQ(format(kCodeWithoutText, "ctx"), "Error 536927917 (ctx).");
}

TEST(StatusMessage, TrailingPeriodAndLineBreakBecomeExactlyOnePeriod) {
  const uint32_t codes[] = {2, 5, 13, 29, 1168, 1392};
  for (uint32_t code : codes) {
    std::string text = format(code, nullptr);
    ASSERT_GE(text.size(), 3u) << code;
    std::string kept = text.substr(0, text.size() - 1);
    EXPECT_EQ(text.back(), '.') << code;
    EXPECT_EQ(kept.find_last_not_of("\r\n ."), kept.size() - 1) << code;
    EXPECT_EQ(system_text(code).rfind(kept, 0), 0u) << "the system's own text, " << code;
    EXPECT_EQ(format(code, "C:\\x\\main.msi"), kept + " (C:\\x\\main.msi).") << code;
  }
}

TEST(StatusMessage, InsertSequencesAreLeftAsTheyStand) {
  // Texts with %1 inserts must not read arguments that were never passed.
  for (uint32_t code = 1; code < 2000; ++code) {
    std::string raw = system_text(code);
    if (raw.find("%1") == std::string::npos) continue;
    std::string text = format(code, "ctx");
    EXPECT_NE(text.find("%1"), std::string::npos) << code;
    return;
  }
  GTEST_SKIP() << "no system text with inserts";
}

TEST(StatusMessage, NothingIsWrittenPastTheBuffer) {
  std::string raw = system_text(1168);
  std::string text = format(1168, "a context far too long to fit behind the text", raw.size() + 4);
  EXPECT_LT(text.size(), raw.size() + 4);
  EXPECT_EQ(text.back(), '.');
  EXPECT_EQ(format(kCodeWithoutText, "ctx", 8), "");
}

TEST(FinalReport, FallbackTextCarriesOneCodeAndSite) {
  char text[kMessageBufferSize] = {};
  fill_fallback_text(status_of(kCodeWithoutText, 509), text);
  EXPECT_STREQ(text, "Error 536927917 (1, 536927917, 509).");
  text[0] = '\0';
  fill_fallback_text(status_of(1168, 509), text);
  std::string system = format(1168, nullptr);
  EXPECT_EQ(std::string(text), system.substr(0, system.size() - 1) + " (1, 1168, 509).");
}

TEST(FinalReport, CaptionIsTheFileNameOrLoader) {
  EXPECT_STREQ(report_caption(nullptr), "Loader");
  EXPECT_STREQ(report_caption("C:\\dir\\My Setup.exe"), "My Setup.exe");
  EXPECT_STREQ(report_caption("setup.exe"), "setup.exe");
  EXPECT_STREQ(report_caption("C:\\dir\\"), "");
}

}  // namespace
