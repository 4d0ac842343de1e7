// Internal failures: conditions the program cannot continue from (no
// temporary folder, a standard stream that refuses a write, a platform
// answer that cannot happen). The report goes to the error stream, then the
// process ends through the fail-fast request with code 7: no clean-up runs
// and no exit code of the driver is produced.
#pragma once

#include "platform/system_error.h"
#include "platform/text_pieces.h"

namespace vant {

// Writes a report to the error stream and must not fail or report again.
using ReportWriter = void (*)(const TextPieces& report);

// The console installs its unbuffered error-stream writer here, so reports
// reach a console in UTF-16 like every other message. Until then reports go
// out as raw bytes.
void set_report_writer(ReportWriter writer);

// Writes the message pieces and a line feed, then fails fast.
[[noreturn]] void internal_failure(const TextPieces& message);

// "called `Result::unwrap()` on an `Err` value: " + the error's diagnostic
// text, then fails fast.
[[noreturn]] void internal_failure_unwrap(const SystemError& error);

}  // namespace vant
