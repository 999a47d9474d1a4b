#include "extract/win/progress_dialog.h"

#include <commctrl.h>
#include <string.h>

#include "extract/win/item_files.h"
#include "shared/win/status_message.h"

namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME |
                               DS_SETFONT;
constexpr UINT kClassStyle = CS_SAVEBITS | CS_NOCLOSE | CS_DBLCLKS;
constexpr short kDialogWidth = 180;
constexpr short kDialogHeight = 40;
constexpr uint16_t kPointSize = 10;
constexpr size_t kHeaderSize = 20;  // the DLGTEMPLATE record and the menu word
constexpr int kProgressBarId = 100;
constexpr UINT_PTR kStepTimerId = 1;
constexpr UINT kRetryCancelQuestion = MB_RETRYCANCEL | MB_ICONQUESTION;
constexpr size_t kBoxTextSize = 1024;
constexpr int kCaptionSize = 256;

void put_u16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void put_u32(uint8_t* at, uint32_t value) {
  put_u16(at, static_cast<uint16_t>(value));
  put_u16(at + 2, static_cast<uint16_t>(value >> 16));
}

template <typename Char>
size_t text_length(const Char* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Writes text into the slot at `at`, cut to 49 units, and returns the bytes written with the
// terminator. The program's own names are ASCII; the title is written in UTF-16 as the package
// gives it, so that a title the code page cannot spell still shows as written.
template <typename Char>
size_t put_text(uint8_t* at, const Char* text) {
  size_t kept = cut_to_units(text, text_length(text), kTemplateTextUnits);
  for (size_t i = 0; i < kept; ++i) put_u16(at + 2 * i, static_cast<uint16_t>(text[i]));
  put_u16(at + 2 * kept, 0);
  return 2 * (kept + 1);
}

ProgressWindow* window_state(HWND dialog) {
  return reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

// Asks Retry or Cancel with the dialog's own caption; true for Retry. Without anyone to answer,
// the box is not shown and counts as Cancel.
bool ask_retry(HWND dialog, const char* text) {
  ProgressWindow* state = window_state(dialog);
  if (state == nullptr || state->quiet) return false;
  wchar_t caption[kCaptionSize] = {};
  wchar_t wide[kBoxTextSize] = {};
  GetWindowTextW(dialog, caption, kCaptionSize);
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kBoxTextSize - 1);
  return MessageBoxW(dialog, wide, caption, kRetryCancelQuestion) != IDCANCEL;
}

// Starts (or restarts) the zero-delay step timer, asking to retry for as long as the system
// refuses it. False when the user cancelled and the dialog is ending.
bool arm_step_timer(HWND dialog, ItemWriter& writer) {
  for (;;) {
    writer.timer_id = SetTimer(dialog, kStepTimerId, 0, nullptr);
    if (writer.timer_id != 0) return true;
    char text[kBoxTextSize];
    format_status_message(GetLastError(), text, sizeof text, nullptr);
    if (!ask_retry(dialog, text)) {
      EndDialog(dialog, kProgressCancelled);
      return false;
    }
  }
}

void show_percent(HWND dialog, const ProgressWindow& state, uint32_t percent) {
  SendDlgItemMessageA(dialog, kProgressBarId, PBM_SETPOS, percent, 0);
  taskbar_progress_set_completed(state.taskbar, percent);
}

// The program's own icon group (named APP in its resources), so that the window and its taskbar
// button look like the setup program the user started.
void set_icon(HWND dialog, HINSTANCE instance, int size, WPARAM which) {
  HANDLE icon = LoadImageA(instance, "APP", IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
  if (icon != nullptr) SendMessageA(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

void initialise(HWND dialog, ProgressWindow* state) {
  SetLastError(0);
  if (SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state)) == 0 &&
      GetLastError() != 0) {
    EndDialog(dialog, kProgressNotAttached);
    return;
  }
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  // Width and height are mapped in the rectangle's right and bottom.
  RECT place = {5, 14, 170, 12};
  MapDialogRect(dialog, &place);
  HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, place.left, place.top,
                             place.right, place.bottom, dialog,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)),
                             state->instance, nullptr);
  if (bar != nullptr) SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  set_icon(dialog, state->instance, 32, ICON_BIG);
  set_icon(dialog, state->instance, 16, ICON_SMALL);
  SendDlgItemMessageA(dialog, kProgressBarId, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendDlgItemMessageA(dialog, kProgressBarId, PBM_SETPOS, 0, 0);
  taskbar_progress_set_window(state->taskbar, dialog);
  taskbar_progress_set_state(state->taskbar, 1);
  taskbar_progress_set_total(state->taskbar, 100);
  taskbar_progress_set_completed(state->taskbar, 0);
  arm_step_timer(dialog, *state->writer);
}

// One writer step per tick. The timer is restarted before the write, so that the wait for the
// next tick runs while the chunk is written, and killed before the dialog ends or a box runs its
// own message loop, so a step never re-enters. Nothing in the step itself reads messages.
void step(HWND dialog) {
  ProgressWindow* state = window_state(dialog);
  if (state == nullptr) return;
  ItemWriter& writer = *state->writer;
  if (!arm_step_timer(dialog, writer)) return;
  uint32_t percent = 0;
  uint32_t result = writer_step(writer, &percent);
  show_percent(dialog, *state, percent);
  if (result == kWriterMoreData) return;
  KillTimer(dialog, writer.timer_id);
  if (result == kWriterDone) {
    EndDialog(dialog, kProgressWritten);
    return;
  }
  char text[kBoxTextSize];
  const char* path = writer.current >= 0 && writer.current < writer.count
                         ? writer.items[writer.current].path
                         : nullptr;
  format_status_message(result, text, sizeof text, path);
  if (!ask_retry(dialog, text)) {
    EndDialog(dialog, kProgressCancelled);
    return;
  }
  arm_step_timer(dialog, writer);
}

INT_PTR CALLBACK progress_dialog_proc(HWND dialog, UINT message, WPARAM, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      if (lparam != 0) initialise(dialog, reinterpret_cast<ProgressWindow*>(lparam));
      break;
    case WM_TIMER:
      step(dialog);
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(dialog, &paint);
      EndPaint(dialog, &paint);
      break;
    }
    default:
      break;
  }
  // Default dialog processing follows every message; there is no Cancel, and Close is disabled.
  return FALSE;
}

// A Unicode window class, so that the caption keeps the characters the code page cannot spell.
void register_window_class(HINSTANCE instance, const char* class_name) {
  wchar_t name[kCaptionSize];
  size_t length = text_length(class_name);
  for (size_t i = 0; i <= length; ++i) name[i] = static_cast<wchar_t>(class_name[i]);
  WNDCLASSW window_class = {};
  window_class.style = kClassStyle;
  window_class.lpfnWndProc = DefDlgProcW;
  window_class.cbWndExtra = DLGWINDOWEXTRA;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.lpszClassName = name;
  RegisterClassW(&window_class);
}

}  // namespace

size_t dialog_template_size(const char* class_name, const char16_t* title, const char* face_name) {
  return 28 + 2 * (text_length(class_name) + text_length(title) + text_length(face_name));
}

size_t write_dialog_template(uint8_t* block, const char* class_name, const char16_t* title,
                             const char* face_name) {
  put_u32(block, kDialogStyle);
  put_u32(block + 4, 0);   // extended style
  put_u16(block + 8, 0);   // no controls: the progress bar is made at initialisation
  put_u16(block + 10, 0);  // x and y: DS_CENTER places the window
  put_u16(block + 12, 0);
  put_u16(block + 14, kDialogWidth);
  put_u16(block + 16, kDialogHeight);
  put_u16(block + 18, 0);  // no menu
  size_t at = kHeaderSize;
  at += put_text(block + at, class_name);
  at += put_text(block + at, title);
  put_u16(block + at, kPointSize);
  at += 2;
  at += put_text(block + at, face_name);
  return at;
}

INT_PTR run_progress_dialog(ProgressWindow& window, const char* class_name, const char16_t* title,
                            const char* face_name) {
  register_window_class(window.instance, class_name);
  size_t size = dialog_template_size(class_name, title, face_name);
  HGLOBAL block = GlobalAlloc(GMEM_ZEROINIT, size);
  if (block == nullptr) return kProgressNoWindow;
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
  write_dialog_template(bytes, class_name, title, face_name);
  GlobalUnlock(block);
  INT_PTR result = DialogBoxIndirectParamW(window.instance, static_cast<LPCDLGTEMPLATEW>(block),
                                           nullptr, progress_dialog_proc,
                                           reinterpret_cast<LPARAM>(&window));
  GlobalFree(block);
  return result;
}
