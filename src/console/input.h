// Reading one line from standard input.
#pragma once

#include <cstddef>
#include <expected>
#include <string>

#include "platform/system_error.h"

namespace vant {

// Appends bytes up to and including the first line feed to `text`, and
// returns how many were appended; 0 means end of input. On a console the
// line is read as UTF-16 and converted; from a file or pipe it must be UTF-8.
std::expected<std::size_t, SystemError> read_stdin_line(std::string& text);

// Consumes standard input up to and including the first line feed, or to
// the end of input, and keeps none of it: whatever arrives (a flood of bytes
// without a line feed included), memory stays at the reader's one buffer.
// Bytes after the line feed stay for the next read. Returns the number of
// bytes consumed; 0 means end of input. Nothing is checked for UTF-8.
// Example: input "anything\r\nrest" -> 10, and "rest" is left.
std::expected<std::size_t, SystemError> skip_stdin_line();

#ifdef VANT_TEST_HOOKS
// Tests only: forget the reader and its buffered bytes, as at process start.
void reset_input_for_tests();
#endif

}  // namespace vant
