// Skipping one line of standard input: what the Enter prompt reads.
#pragma once

#include <cstddef>
#include <expected>

#include "platform/system_error.h"

namespace vant {

// Consumes standard input up to and including the first line feed, or to
// the end of input, and keeps none of it: whatever arrives (a flood of bytes
// without a line feed included), memory stays at the input's one buffer.
// Bytes after the line feed stay for the next read. Returns the number of
// bytes consumed; 0 means end of input. Nothing is checked for UTF-8.
// Example: input "anything\r\nrest" -> 10, and "rest" is left.
std::expected<std::size_t, SystemError> skip_stdin_line();

#ifdef VANT_TEST_HOOKS
// Tests only: forget the buffer and its bytes, as at process start.
void reset_input_for_tests();
#endif

}  // namespace vant
