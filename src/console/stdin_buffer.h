// The buffer of standard input: 12288 bytes, allocated once, that keep
// whatever follows a line for the next read.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <string_view>

#include "platform/system_error.h"

namespace vant {

class StdinBuffer {
 public:
  // Three times the units of one console read: its UTF-8 always fits.
  static constexpr std::size_t kBufferSize = 12288;

  StdinBuffer();

  // Consumes the next line up to and including its line feed (or up to the
  // end of input) without keeping it; returns the number of bytes consumed.
  // Only this buffer holds input, however long the line.
  std::expected<std::size_t, SystemError> skip_line();

  // Refills the empty buffer with one read; a missing stream is end of input.
  std::expected<std::size_t, SystemError> fill_stdin_buffer();

  // Bytes read but not handed out yet.
  std::string_view available() const { return {buffer_.get() + pos_, filled_ - pos_}; }

 private:
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;     // first byte not handed out
  std::size_t filled_ = 0;  // valid bytes; pos_ <= filled_ <= kBufferSize
  char16_t pending_surrogate_ = 0;
};

}  // namespace vant
