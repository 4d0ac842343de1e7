#include "console/output.h"

#include <optional>
#include <string_view>

#include "console/line_writer.h"
#include "console/unbuffered_writer.h"
#include "platform/fail_fast.h"
#include "platform/lock.h"
#include "platform/process_exit.h"
#include "platform/process_global.h"
#include "platform/system_error.h"

namespace vant {
namespace {

// The output stream: made with its buffer on the first print.
constinit ReentrantLock g_output_lock;
constinit ProcessGlobal<LineWriter> g_output;

// The error stream exists from the start and needs no allocation.
constinit ReentrantLock g_error_lock;
constinit StdWriter g_error{StdStream::Error, {}};

constinit bool g_hooks_installed = false;
constinit bool g_writing_report = false;

LineWriter& output_stream() {
  if (!g_output.made()) g_output.make(StdWriter{StdStream::Output, {}}, LineWriter::kCapacity);
  return g_output.get();
}

// Marks a report under way, so that a failure while writing it ends the
// process without trying to report again.
class ReportUnderWay {
 public:
  ReportUnderWay() { g_writing_report = true; }
  ~ReportUnderWay() { g_writing_report = false; }
  ReportUnderWay(const ReportUnderWay&) = delete;
  ReportUnderWay& operator=(const ReportUnderWay&) = delete;
};

// The report of an internal failure, unbuffered on the error stream. It uses
// a carry of its own: a character that an earlier print left unfinished
// must not make the report itself fail. Failures are ignored (the process
// ends right after); a failure inside, which would report again, finds the
// report under way and writes nothing.
void write_report(const TextPieces& report) {
  if (g_writing_report) return;
  const LockGuard guard(g_error_lock);
  const ReportUnderWay under_way;
  StdWriter writer{StdStream::Error, {}};
  for (const std::string_view piece : report.pieces()) {
    if (!std_write_all(writer, piece)) return;
  }
}

// The console's parts of the process end: the exit flushes the output
// buffer, and internal failures are reported through the console.
void install_hooks() {
  if (g_hooks_installed) return;
  g_hooks_installed = true;
  set_exit_cleanup(flush_stdout_at_exit);
  set_report_writer(write_report);
}

// "failed printing to stdout: The pipe has been ended. (os error 109)"
[[noreturn]] void fail_printing(std::string_view stream, const SystemError& error) {
  const ErrorDisplay shown = error.display();
  TextPieces message{"failed printing to ", stream, ": "};
  internal_failure(message.append(shown.pieces()));
}

}  // namespace

void print_stdout(const TextPieces& text) {
  install_hooks();
  std::optional<SystemError> failure;
  {
    const LockGuard guard(g_output_lock);
    LineWriter& output = output_stream();
    for (const std::string_view piece : text.pieces()) {
      if (auto written = output.line_write_all(piece); !written) {
        failure = written.error();
        break;
      }
    }
  }
  if (failure) fail_printing("stdout", *failure);
}

void print_stderr(const TextPieces& text) {
  install_hooks();
  std::optional<SystemError> failure;
  {
    const LockGuard guard(g_error_lock);
    for (const std::string_view piece : text.pieces()) {
      if (auto written = std_write_all(g_error, piece); !written) {
        failure = written.error();
        break;
      }
    }
  }
  if (failure) fail_printing("stderr", *failure);
}

void flush_stdout_at_exit() {
  if (!g_output.made()) {
    g_output.make(StdWriter{StdStream::Output, {}}, 0);
    return;
  }
  // Never wait here: a thread stuck inside a print must not stop the exit.
  // The current thread may hold the lock already, which succeeds.
  if (!g_output_lock.try_lock()) return;
  const LockGuard held(g_output_lock, kAdoptLock);
  LineWriter& output = g_output.get();
  (void)output.flush_buffer();
  // From now on every piece goes straight to the stream; the old buffer and
  // any unfinished character are let go.
  output = LineWriter(StdWriter{StdStream::Output, {}}, 0);
}

#ifdef VANT_TEST_HOOKS
void reset_output_for_tests() {
  g_output.destroy();
  g_error.carry.clear();
  g_hooks_installed = false;
  g_writing_report = false;
}
#endif

}  // namespace vant
