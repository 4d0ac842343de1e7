// The download folder of an elevated run: a new folder that only SYSTEM and
// administrators can change, made for this run under the Windows folder's
// Temp.
//
// Elevated, the user's %TEMP% is no place for what is started next: it comes
// from the user's own environment and every unelevated program of the user
// can write there, plant a library beside the installer, or turn a folder on
// the way into a junction that sends an administrator's write (curl's) or
// start (CreateProcessW's) somewhere else. <Windows>\Temp cannot be replaced
// by the user, and a folder made there with its own protected DACL, under a
// name nobody can guess, can be changed by nobody but an administrator.
#pragma once

#include <expected>
#include <string_view>

#include "paths/path_text.h"
#include "platform/system_error.h"

namespace vant {

// Tries this many random names before giving up.
inline constexpr int kStagingFolderAttempts = 4;

// Creates <GetSystemWindowsDirectoryW()>\Temp\vant-<32 hex digits> (128
// bits from the system's random generator) with a DACL given at creation:
// protected (nothing inherited from Temp, which lets Users create files and
// folders in what is made there), full control for SYSTEM and Administrators,
// inherited by everything created inside. A name that exists already (made
// by someone else: it could be theirs, or a junction) is never used; a new
// name is tried instead.
// Example: C:\Windows -> C:\Windows\Temp\vant-0f1e2d3c4b5a69788796a5b4c3d2e1f0
// Errors: the first that is not ERROR_ALREADY_EXISTS (the Windows folder's,
// the generator's, the descriptor's or CreateDirectoryW's), or
// ERROR_ALREADY_EXISTS after every attempt.
std::expected<PathText, SystemError> create_staging_folder();

// Removes the folder that create_staging_folder made, after deleting the
// file `file_name` in it, the one thing a run puts there. Anything else
// there (only an administrator could have put it there) keeps the folder;
// so does a file still open (a curl whose wait failed). Errors:
// RemoveDirectoryW's; a file that is not there is no error.
std::expected<void, SystemError> remove_staging_folder(const PathText& folder, std::string_view file_name);

}  // namespace vant
