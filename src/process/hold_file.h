// Keeping a program's file as it is from the moment it is judged until the
// moment it has been started: the installer, from curl's exit (before
// anything is printed) until CreateProcessW has returned. In the user's
// temporary folder, which every program of the user can write, one of them
// could otherwise swap the file between the signer check and the start and
// have its own program started. curl itself writes through a handle that
// shares writing, so before its exit a hold would guard nothing.
#pragma once

#include <expected>

#include "paths/windows_path.h"
#include "platform/handle.h"
#include "platform/system_error.h"

namespace vant {

// Opens the file at `path` (a Windows path, as to_windows_path gives it)
// for reading, sharing read access only. While the handle is open nobody
// else can write, rename, replace or delete the file, yet CreateProcessW can
// still start it: it opens the image for reading and execution and shares
// reading. The handle is not inheritable.
//
// A new file may still be open in a virus scanner that shares nothing, so a
// sharing violation is tried again, a bounded number of times
// (kHoldAttempts, kHoldRetryDelayMs apart), then returned. Any other
// failure is CreateFileW's error, at once.
std::expected<OwnedHandle, SystemError> hold_file(const WideText& path);

// 20 attempts 100 ms apart: up to about two seconds for a scanner to let go.
inline constexpr int kHoldAttempts = 20;
inline constexpr win::DWORD kHoldRetryDelayMs = 100;

}  // namespace vant
