#include "console/stdin_buffer.h"

#include <algorithm>
#include <span>

#include "console/std_handle.h"
#include "console/stdin_read.h"

namespace vant {

StdinBuffer::StdinBuffer() : buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

std::expected<std::size_t, SystemError> StdinBuffer::fill_stdin_buffer() {
  const auto read = std_read(std::span<char>(buffer_.get(), kBufferSize), pending_surrogate_);
  pos_ = 0;
  if (read) {
    filled_ = std::min(*read, kBufferSize);
    return filled_;
  }
  filled_ = 0;
  if (is_missing_stream(read.error())) return 0;
  return std::unexpected(read.error());
}

std::expected<std::size_t, SystemError> StdinBuffer::skip_line() {
  std::size_t consumed = 0;
  for (;;) {
    if (pos_ == filled_) {
      if (auto filled = fill_stdin_buffer(); !filled) return std::unexpected(filled.error());
    }
    const std::string_view bytes = available();
    const std::size_t line_feed = bytes.find('\n');
    const std::string_view part = line_feed == std::string_view::npos ? bytes : bytes.substr(0, line_feed + 1);
    pos_ += part.size();
    consumed += part.size();
    // A line feed ends the line; nothing more to read is the end of input.
    if (line_feed != std::string_view::npos || part.empty()) return consumed;
  }
}

}  // namespace vant
