// Paths as the program holds them: WTF-8 bytes that convert back to exactly
// the UTF-16 units Windows gave, lone surrogates included.
#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/system_error.h"

namespace vant {

class PathText {
 public:
  PathText() = default;
  // UTF-8 is a subset of WTF-8, so any UTF-8 text is a path text as is.
  static PathText from_utf8(std::string_view text) { return PathText(std::string(text)); }
  static PathText from_wtf8(std::string bytes) { return PathText(std::move(bytes)); }

  const std::string& bytes() const { return bytes_; }
  bool empty() const { return bytes_.empty(); }
  friend bool operator==(const PathText&, const PathText&) = default;

 private:
  explicit PathText(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string bytes_;
};

// The temporary folder as Windows reports it (GetTempPath2W where the
// system has it, else GetTempPathW).
std::expected<PathText, SystemError> temp_directory();

// UTF-16 units to WTF-8; never fails.
PathText path_from_wide(std::span<const char16_t> units);

// `directory` joined with a relative file name (no drive, no leading
// separator). Example: C:\Temp\ + a.exe -> C:\Temp\a.exe; C: + a.exe -> C:a.exe.
PathText join_path(const PathText& directory, std::string_view name);

// The path itself when it names a folder; a bare file name gets the current
// folder ".\" in front (after the drive of a drive-relative name: any one
// UTF-16 unit and a colon, as Windows reads it), so that a program search
// never applies to it and it names the file where a tool given the bare
// name wrote it.
// Example: a.exe -> .\a.exe; C:a.exe -> C:.\a.exe; 1:a.exe -> 1:.\a.exe;
//          C:\Temp\a.exe and dir/a.exe -> unchanged.
PathText with_explicit_folder(const PathText& path);

// UTF-8 for showing and for passing on as text: each lone surrogate becomes
// U+FFFD; the byte length is unchanged.
std::string path_display_text(const PathText& path);

#ifdef VANT_TEST_HOOKS
// Tests only: forget which temporary-path function was chosen.
void reset_temp_path_resolver_for_tests();
#endif

}  // namespace vant
