// Text output on the standard output and error streams.
//
// Output is line-buffered in 1024 bytes: everything up to the last line feed
// of a print reaches the stream during the print. Errors are unbuffered. On a
// console whose output code page is not UTF-8 the text is written as UTF-16;
// everywhere else the UTF-8 bytes go out unchanged. A stream the process does
// not have swallows text silently. Any other write failure ends the process.
#pragma once

#include "platform/text_pieces.h"

namespace vant {

void print_stdout(const TextPieces& text);
void print_stderr(const TextPieces& text);

// Writes out what waits in the output buffer (ignoring failure) and makes
// later output unbuffered. Run by the process exit.
void flush_stdout_at_exit();

#ifdef VANT_TEST_HOOKS
// Tests only: forget both streams, as at process start.
void reset_output_for_tests();
#endif

}  // namespace vant
