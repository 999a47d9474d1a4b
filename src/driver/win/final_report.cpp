#include "driver/win/final_report.h"

#include <windows.h>

#include "driver/command_line.h"
#include "shared/win/status_message.h"
#include "platform/bounded_format.h"

const char* report_caption(const char* module_path) {
  if (module_path == nullptr) return "Loader";
  // CharNextA steps over whole characters, so a backslash byte inside a double-byte character
  // is never taken for a separator.
  const char* name = module_path;
  for (const char* p = module_path; *p != '\0'; p = CharNextA(p)) {
    if (*p == '\\') name = p + 1;
  }
  return name;
}

void fill_fallback_text(Status status, char* text) {
  char context[64];
  bounded_format(context, sizeof context, "%u, %u, %u", 1u, status_code(status),
                 status_site(status));
  format_status_message(status_code(status), text, kMessageBufferSize, context);
}

bool show_final_report(Status status, char* text, bool silenced, char16_t* const* argv, int argc,
                       const char* module_path) {
  uint32_t code = status_code(status);
  if (code == 0 || silenced || has_quiet_switch(argv, argc)) return false;
  if (text[0] == '\0') fill_fallback_text(status, text);
  MessageBoxA(nullptr, text, report_caption(module_path), MB_ICONERROR);
  return true;
}
