// The output stream's line buffering. Everything up to and including the
// last line feed of a piece reaches the stream while the piece is written;
// what follows waits in the buffer until a later piece brings a line feed,
// the buffer would overflow, or the process exits.
// Example, capacity 1024: "ab" -> nothing written, "ab" waits; then
// "c\nd" -> one write of "abc\n", "d" waits.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <string_view>

#include "console/unbuffered_writer.h"
#include "platform/system_error.h"

namespace vant {

class LineWriter {
 public:
  static constexpr std::size_t kCapacity = 1024;

  // The buffer is allocated here, once; capacity 0 means unbuffered.
  LineWriter(StdWriter writer, std::size_t capacity);

  // A piece of text, with the line policy above.
  std::expected<void, SystemError> line_write_all(std::string_view bytes);

  // Appends to the buffer when the bytes fit; otherwise flushes first, and
  // bytes of the buffer's capacity or more bypass it.
  std::expected<void, SystemError> buffer_write_all(std::string_view bytes);

  // Writes out the buffer. Bytes written leave the buffer even when a later
  // write fails; a stream that takes nothing fails with "failed to write the
  // buffered data"; a missing stream counts as having taken everything.
  std::expected<void, SystemError> flush_buffer();

  // Tests only: what waits in the buffer, which line_writer_test compares
  // after each piece to show the line policy above.
  std::string_view buffered() const { return {buffer_.get(), length_}; }

 private:
  void append(std::string_view bytes);

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t length_ = 0;
  StdWriter writer_;
};

}  // namespace vant
