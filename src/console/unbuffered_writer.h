// The unbuffered writer of a standard stream, with the rules every stream
// shares: a console gets UTF-16 where its code page is not UTF-8, everything
// else the bytes; a missing stream swallows text.
#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "console/console_write.h"
#include "console/std_handle.h"
#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// The unbuffered writer of one stream. It holds no handle: the handle is
// fetched on every write, so a standard handle replaced while the process
// runs takes effect at the next write.
struct StdWriter {
  StdStream stream = StdStream::Output;
  Utf8Carry carry;
};

// One write of up to all of `bytes`; returns how many were consumed. An empty
// span returns 0 without touching the platform. A console whose output code
// page is not UTF-8 gets UTF-16; everything else gets the bytes unchanged.
std::expected<std::size_t, SystemError> std_write(StdWriter& writer, std::string_view bytes);

// Writes every byte, calling std_write until done. A stream that takes
// nothing fails with "failed to write whole buffer"; a missing stream
// (error 6) drops the rest and succeeds.
std::expected<void, SystemError> std_write_all(StdWriter& writer, std::string_view bytes);

}  // namespace vant
