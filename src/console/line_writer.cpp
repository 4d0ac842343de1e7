#include "console/line_writer.h"

#include <algorithm>
#include <cstring>

namespace vant {

LineWriter::LineWriter(StdWriter writer, std::size_t capacity)
    : buffer_(capacity > 0 ? std::make_unique_for_overwrite<char[]>(capacity) : nullptr),
      capacity_(capacity),
      writer_(writer) {}

void LineWriter::append(std::string_view bytes) {
  if (bytes.empty()) return;
  std::memcpy(buffer_.get() + length_, bytes.data(), bytes.size());
  length_ += bytes.size();
}

std::expected<void, SystemError> LineWriter::flush_buffer() {
  std::size_t written = 0;
  std::expected<void, SystemError> result;
  while (written < length_) {
    const auto n = std_write(writer_, std::string_view(buffer_.get() + written, length_ - written));
    if (!n) {
      if (is_missing_stream(n.error())) {
        written = length_;
        continue;
      }
      result = std::unexpected(n.error());
      break;
    }
    if (*n == 0) {
      result = std::unexpected(errors::write_zero_buffered);
      break;
    }
    written += std::min(*n, length_ - written);
  }
  // What was written must not be written again, even after a failure.
  if (written > 0) {
    std::memmove(buffer_.get(), buffer_.get() + written, length_ - written);
    length_ -= written;
  }
  return result;
}

std::expected<void, SystemError> LineWriter::buffer_write_all(std::string_view bytes) {
  const std::size_t spare = capacity_ - length_;
  if (bytes.size() < spare) {
    append(bytes);
    return {};
  }
  if (bytes.size() > spare) {
    if (auto flushed = flush_buffer(); !flushed) return flushed;
  }
  if (bytes.size() >= capacity_) return std_write_all(writer_, bytes);
  append(bytes);
  return {};
}

std::expected<void, SystemError> LineWriter::line_write_all(std::string_view bytes) {
  const std::size_t last_line_feed = bytes.rfind('\n');
  if (last_line_feed == std::string_view::npos) {
    // A complete line still waiting (left by a failed flush) goes out
    // before text that has no line end of its own.
    if (length_ > 0 && buffer_[length_ - 1] == '\n') {
      if (auto flushed = flush_buffer(); !flushed) return flushed;
    }
    return buffer_write_all(bytes);
  }

  const std::string_view lines = bytes.substr(0, last_line_feed + 1);
  const std::string_view tail = bytes.substr(last_line_feed + 1);
  if (length_ == 0) {
    // Straight to the stream, without a copy.
    if (auto written = std_write_all(writer_, lines); !written) return written;
  } else {
    // Joined with what waits, so both usually leave in one write.
    if (auto buffered_ok = buffer_write_all(lines); !buffered_ok) return buffered_ok;
    if (auto flushed = flush_buffer(); !flushed) return flushed;
  }
  return buffer_write_all(tail);
}

}  // namespace vant
