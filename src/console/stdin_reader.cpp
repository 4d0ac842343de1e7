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

std::expected<std::size_t, SystemError> StdinReader::read_line(std::string& text) {
  const std::size_t start_length = text.size();
  std::size_t appended = 0;
  std::expected<std::size_t, SystemError> result = 0;
  for (;;) {
    if (pos_ == filled_) {
      if (auto filled = fill_stdin_buffer(); !filled) {
        result = std::unexpected(filled.error());
        break;
      }
    }
    const std::string_view bytes = available();
    const std::size_t line_feed = bytes.find('\n');
    if (line_feed != std::string_view::npos) {
      text.append(bytes.substr(0, line_feed + 1));
      pos_ += line_feed + 1;
      appended += line_feed + 1;
      result = appended;
      break;
    }
    text.append(bytes);
    pos_ = filled_;
    appended += bytes.size();
    if (bytes.empty()) {
      result = appended;  // end of input
      break;
    }
  }

  if (!is_valid_utf8(std::string_view(text).substr(start_length))) {
    text.resize(start_length);
    if (result) return std::unexpected(errors::invalid_utf8_stream);
  }
  return result;
}

std::expected<std::size_t, SystemError> StdinReader::skip_line() {
  std::size_t skipped = 0;
  for (;;) {
    if (pos_ == filled_) {
      if (auto filled = fill_stdin_buffer(); !filled) return std::unexpected(filled.error());
    }
    const std::string_view bytes = available();
    const std::size_t line_feed = bytes.find('\n');
    if (line_feed != std::string_view::npos) {
      pos_ += line_feed + 1;
      return skipped + line_feed + 1;
    }
    pos_ = filled_;
    skipped += bytes.size();
    if (bytes.empty()) return skipped;  // end of input
  }
}

}  // namespace vant
