#pragma once
// The small modal window the items are written under: a caption with the package title and a
// progress bar. Its dialog template is built in memory; it drives the item writer one step per
// timer tick and offers Retry and Cancel when a step fails.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "payload/extract_items.h"
#include "extract/win/taskbar_progress.h"
#include "shared/title_units.h"

enum ProgressDialogResult : INT_PTR {
  kProgressWritten = 1,      // every item was written
  kProgressCancelled = 2,    // the user chose Cancel in a retry box
  kProgressNotAttached = 3,  // the window could not hold on to its writer
  kProgressNoWindow = -1,    // no template block, or the dialog could not be created
};

// What the window works on; it owns none of it.
struct ProgressWindow {
  ItemWriter* writer;
  TaskbarProgress* taskbar;  // may be null
  HINSTANCE instance;        // for the window class, the dialog and the icon
  bool quiet;                // nobody answers: a failed step ends the window as cancelled
};

// Bytes of the template block: 28 + 2 x the lengths of the three texts (class and face name in
// ASCII, the title in UTF-16 units).
size_t dialog_template_size(const char* class_name, const char16_t* title, const char* face_name);

// Writes the dialog template into block (zeroed, dialog_template_size bytes) and returns the
// bytes used. The title, NUL-terminated UTF-16 shown as written, is cut to 49 units, never inside
// a character.
size_t write_dialog_template(uint8_t* block, const char* class_name, const char16_t* title,
                             const char* face_name);

// Registers the window class, builds the template and runs the dialog until the writer is done
// or the user cancels. Returns a ProgressDialogResult.
INT_PTR run_progress_dialog(ProgressWindow& window, const char* class_name, const char16_t* title,
                            const char* face_name);
