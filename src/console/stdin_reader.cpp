#include "console/stdin_reader.h"

#include <algorithm>
#include <span>

#include "console/std_read.h"
#include "console/std_stream.h"
#include "platform/unicode.h"

namespace vant {

StdinReader::StdinReader() : buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

std::expected<std::size_t, SystemError> StdinReader::fill_stdin_buffer() {
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

// The one walk over the next line, for reading it and for skipping it: each
// part of it, up to and including its line feed (or up to the end of
// input), goes to `take` as it leaves the buffer. Returns the bytes taken,
// or the read failure that cut the line short.
template <typename Take>
std::expected<std::size_t, SystemError> StdinReader::consume_line(Take take) {
  std::size_t consumed = 0;
  for (;;) {
    if (pos_ == filled_) {
      if (auto filled = fill_stdin_buffer(); !filled) return std::unexpected(filled.error());
    }
    const std::string_view bytes = available();
    const std::size_t line_feed = bytes.find('\n');
    const std::string_view part = line_feed == std::string_view::npos ? bytes : bytes.substr(0, line_feed + 1);
    take(part);
    pos_ += part.size();
    consumed += part.size();
    // A line feed ends the line; nothing more to read is the end of input.
    if (line_feed != std::string_view::npos || part.empty()) return consumed;
  }
}

std::expected<std::size_t, SystemError> StdinReader::read_line(std::string& text) {
  const std::size_t start_length = text.size();
  const auto result = consume_line([&text](std::string_view part) { text.append(part); });
  if (!is_valid_utf8(std::string_view(text).substr(start_length))) {
    text.resize(start_length);
    if (result) return std::unexpected(errors::invalid_utf8_stream);
  }
  return result;
}

std::expected<std::size_t, SystemError> StdinReader::skip_line() {
  return consume_line([](std::string_view) {});
}

}  // namespace vant
