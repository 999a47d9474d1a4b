#pragma once
// The run's one error box: shown for a failed status unless the failure or a quiet switch on the
// command line silenced it.
#include <cstddef>

#include "shared/status.h"

constexpr size_t kMessageBufferSize = 2048;

// The caption for the box: the file name part of the module path, "Loader" without a path.
const char* report_caption(const char* module_path);

// The system text of the status code with '1, code, site' as context, into the message buffer.
void fill_fallback_text(Status status, char* text);

// text is the 2048-byte message buffer; when still empty it receives the system text of the code
// with '1, code, site' as context. Returns true when a box was shown.
bool show_final_report(Status status, char* text, bool silenced, char16_t* const* argv, int argc,
                       const char* module_path);
