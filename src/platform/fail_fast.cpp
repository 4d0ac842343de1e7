#include "platform/fail_fast.h"

#include <string>

#include "platform/win_api.h"

namespace vant {
namespace {

// Raw bytes to the error handle; used only before the console has installed
// its writer. Every failure is ignored: the process is about to end.
void write_raw_report(const TextPieces& report) {
  const win::HANDLE handle = win::GetStdHandle(win::STD_ERROR_HANDLE);
  if (handle == win::NULL_HANDLE || handle == win::INVALID_HANDLE_VALUE) return;
  for (std::string_view piece : report.pieces()) {
    if (piece.empty()) continue;
    win::IO_STATUS_BLOCK status{};
    status.Status = win::STATUS_PENDING;
    const auto length = static_cast<win::ULONG>(piece.size() > 0xFFFFFFFFu ? 0xFFFFFFFFu : piece.size());
    if (win::NtWriteFile(handle, win::NULL_HANDLE, nullptr, nullptr, &status, piece.data(), length, nullptr, nullptr) ==
        win::STATUS_PENDING) {
      win::WaitForSingleObject(handle, win::INFINITE);
    }
  }
}

ReportWriter g_report_writer = write_raw_report;

}  // namespace

void set_report_writer(ReportWriter writer) { g_report_writer = writer ? writer : write_raw_report; }

void internal_failure(const TextPieces& message) {
  TextPieces report = message;
  report.add("\n");
  g_report_writer(report);
  win::FastFail(win::FAST_FAIL_FATAL_APP_EXIT);
}

void internal_failure_unwrap(const SystemError& error) {
  const std::string diagnostic = error.diagnostic_text();
  internal_failure({"called `Result::unwrap()` on an `Err` value: ", diagnostic});
}

}  // namespace vant
