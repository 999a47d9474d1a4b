// The progress window's in-memory dialog template, byte for byte, and the taskbar wrapper's
// null safety.
#include "extract/win/progress_dialog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/win/taskbar_progress.h"
#include "test_bytes.h"

namespace {

constexpr char kClass[] = "MSI_STUB_WINDOW_CLASS_NAME";
constexpr char kFace[] = "MS Sans Serif";

void put16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

template <typename Text>
void put_text(Bytes& out, const Text& text) {
  for (auto c : text) put16(out, static_cast<uint16_t>(c));
  put16(out, 0);
}

// The template as the layout says it must be.
Bytes expected_template(const std::u16string& title) {
  Bytes out;
  // style, extended style, no controls, x, y, width 180, height 40, no menu
  for (uint16_t word : {0x08C0, 0x80C8, 0, 0, 0, 0, 0, 180, 40, 0}) put16(out, word);
  put_text(out, std::string(kClass));
  put_text(out, title);
  put16(out, 10);
  put_text(out, std::string(kFace));
  return out;
}

TEST(DialogTemplate, HeaderStringsPointSizeAndSize) {
  const struct {
    std::u16string title, shown;
  } cases[] = {
      {u"Setup", u"Setup"},
      {u"\u30BD\u8868 \u0416\u00E9", u"\u30BD\u8868 \u0416\u00E9"},  // no code page spells all
      {std::u16string(49, 'a'), std::u16string(49, 'a')},
      {std::u16string(60, 'b'), std::u16string(49, 'b')},  // cut to the slot
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title.size());
    size_t size = dialog_template_size(kClass, c.title.c_str(), kFace);
    Bytes expected = expected_template(c.shown);
    ASSERT_GE(size, expected.size()) << "the block holds the whole template";
    Bytes block(size, 0);
    size_t used = write_dialog_template(block.data(), kClass, c.title.c_str(), kFace);
    ASSERT_EQ(used, expected.size());
    EXPECT_EQ(Bytes(block.begin(), block.begin() + used), expected);
    EXPECT_EQ(Bytes(block.begin() + used, block.end()), Bytes(size - used, 0));
  }
}

TEST(DialogTemplate, ACutNeverSplitsASurrogatePair) {
  std::wstring text(48, L'x');
  text += L"\xD83D\xDE00";  // one character in units 49 and 50
  EXPECT_EQ(cut_to_units(text.c_str(), text.size(), 49), 48u);
  EXPECT_EQ(cut_to_units(text.c_str(), text.size(), 50), 50u);
  EXPECT_EQ(cut_to_units(text.c_str(), 48, 49), 48u);
}

// The progress window's own sequence, then one step, then the end of the run.
void feed(TaskbarProgress* progress) {
  taskbar_progress_set_window(progress, nullptr);
  taskbar_progress_set_state(progress, 1);
  taskbar_progress_set_total(progress, 100);
  taskbar_progress_set_completed(progress, 0);
  taskbar_progress_set_completed(progress, 43);
  taskbar_progress_set_state(progress, 0);
}

TEST(TaskbarProgress, NullWrapperAndWrapperWithoutInterfaceDoNothingVisible) {
  feed(nullptr);
  taskbar_progress_release(nullptr);

  auto* bare = static_cast<TaskbarProgress*>(LocalAlloc(LMEM_ZEROINIT, sizeof(TaskbarProgress)));
  feed(bare);
  EXPECT_EQ(bare->total, 100u);
  EXPECT_EQ(bare->completed, 43u);
  taskbar_progress_release(bare);  // frees the block only
}

TEST(TaskbarProgress, CreatedOnThisSystem) {
  CoInitialize(nullptr);
  TaskbarProgress* progress = taskbar_progress_create();
  ASSERT_NE(progress, nullptr);  // wine reports a system newer than Windows 7
  feed(progress);
  taskbar_progress_release(progress);
  CoUninitialize();
}

}  // namespace
