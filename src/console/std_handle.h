// The standard streams: which one, and its current handle.
#pragma once

#include <expected>

#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// The values are the GetStdHandle arguments.
enum class StdStream : win::DWORD {
  Input = win::STD_INPUT_HANDLE,
  Output = win::STD_OUTPUT_HANDLE,
  Error = win::STD_ERROR_HANDLE,
};

// The stream's current handle. A process without one (NULL) gets the error
// ERROR_INVALID_HANDLE (6), which writers and the input take to mean "no
// such stream"; a failed fetch gets the code GetStdHandle left.
std::expected<win::HANDLE, SystemError> std_handle(StdStream stream);

// Whether a failure means the stream is missing or its handle is not valid:
// text for it is dropped and reading it meets end of input.
bool is_missing_stream(const SystemError& error);

// Whether the handle is a console (GetConsoleMode works on nothing else).
bool is_console(win::HANDLE handle);

}  // namespace vant
