// The one reader of standard input: a 12288-byte buffer, allocated once, that
// keeps whatever follows a line for the next read.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "platform/system_error.h"

namespace vant {

class StdinReader {
 public:
  // Three times the units of one console read: its UTF-8 always fits.
  static constexpr std::size_t kBufferSize = 12288;

  StdinReader();

  // Appends the next line, up to and including its line feed (or up to the
  // end of input), to `text` and returns the number of bytes appended; 0
  // means end of input. Bytes that are not UTF-8 are taken off `text` again
  // and fail with "stream did not contain valid UTF-8"; they stay consumed.
  // Example: input "a\r\nb\n" -> "a\r\n" (3), then "b\n" (2), then 0.
  std::expected<std::size_t, SystemError> read_line(std::string& text);

  // Consumes the next line up to and including its line feed (or up to the
  // end of input) without keeping it; returns the number of bytes consumed.
  // Only the reader's buffer holds input, however long the line.
  std::expected<std::size_t, SystemError> skip_line();

  // Refills the empty buffer with one read; a missing stream is end of input.
  std::expected<std::size_t, SystemError> fill_stdin_buffer();

  // Bytes read but not handed out yet.
  std::string_view available() const { return {buffer_.get() + pos_, filled_ - pos_}; }
  // A high surrogate held back from the last console read; 0 when none.
  char16_t pending_surrogate() const { return pending_surrogate_; }

 private:
  template <typename Take>
  std::expected<std::size_t, SystemError> consume_line(Take take);

  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;     // first byte not handed out
  std::size_t filled_ = 0;  // valid bytes; pos_ <= filled_ <= kBufferSize
  char16_t pending_surrogate_ = 0;
};

}  // namespace vant
