// The one error value of the program: a Windows error code, or a fixed
// message with a category. Small, heap-free and freely copied; its texts are
// built only when shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text_pieces.h"

namespace vant {

// The categories, in this order; the names are also their diagnostic text.
enum class SystemErrorKind : std::uint8_t {
  NotFound,
  PermissionDenied,
  ConnectionRefused,
  ConnectionReset,
  HostUnreachable,
  NetworkUnreachable,
  ConnectionAborted,
  NotConnected,
  AddrInUse,
  AddrNotAvailable,
  NetworkDown,
  BrokenPipe,
  AlreadyExists,
  WouldBlock,
  NotADirectory,
  IsADirectory,
  DirectoryNotEmpty,
  ReadOnlyFilesystem,
  FilesystemLoop,
  StaleNetworkFileHandle,
  InvalidInput,
  InvalidData,
  TimedOut,
  WriteZero,
  StorageFull,
  NotSeekable,
  QuotaExceeded,
  FileTooLarge,
  ResourceBusy,
  ExecutableFileBusy,
  Deadlock,
  CrossesDevices,
  TooManyLinks,
  InvalidFilename,
  ArgumentListTooLong,
  Interrupted,
  Unsupported,
  UnexpectedEof,
  OutOfMemory,
  InProgress,
  Other,
  Uncategorized,
};
inline constexpr std::size_t kSystemErrorKindCount = 42;

std::string_view kind_name(SystemErrorKind kind);

// The kind of a Windows error code; codes without a category (negative
// ones included) are Uncategorized.
SystemErrorKind kind_of_os_code(std::int32_t code);

// The display text of an error, kept as pieces so the console can write it
// without joining: for a Windows code "description", " (os error ",
// "code", ")"; for a fixed message the message alone. Owns the description;
// the pieces point into this object, so keep it alive while they are used.
class ErrorDisplay {
 public:
  TextPieces pieces() const;

 private:
  friend class SystemError;
  std::string description_;
  std::string_view fixed_message_;
  char code_digits_[12] = {};
  std::size_t code_length_ = 0;
  bool is_os_ = false;
};

class SystemError {
 public:
  static constexpr SystemError from_code(std::int32_t code) { return SystemError(code); }

  // Reads GetLastError() now, so call it straight after the failing call.
  static SystemError from_last_error();

  // `message` must be a string literal: the error keeps only a view of it.
  template <std::size_t N>
  static constexpr SystemError fixed(SystemErrorKind kind, const char (&message)[N]) {
    return SystemError(kind, std::string_view(message, N - 1));
  }

  // A fixed message made at run time, for a message that names what was
  // found. The error keeps only a view: the owner of `message` must outlive
  // the error and every copy of it.
  static constexpr SystemError fixed_view(SystemErrorKind kind, std::string_view message) {
    return SystemError(kind, message);
  }

  SystemErrorKind kind() const;
  // The Windows code of an Os error; nothing for a fixed message.
  std::optional<std::int32_t> os_code() const;

  // "description (os error N)" or the fixed message; fetches the
  // description from the system each time it is called.
  ErrorDisplay display() const;
  // Tests only: the display's pieces joined, which the host tests compare
  // byte for byte (system_error_test and every test of a reported error);
  // the program writes the pieces without joining them.
  std::string display_text() const;

  // Os { code: 2, kind: NotFound, message: "..." } or
  // Error { kind: NotFound, message: "program not found" }.
  std::string diagnostic_text() const;

  friend constexpr bool operator==(const SystemError& a, const SystemError& b) {
    return a.is_os_ == b.is_os_ && (a.is_os_ ? a.code_ == b.code_ : (a.kind_ == b.kind_ && a.message_ == b.message_));
  }

 private:
  constexpr explicit SystemError(std::int32_t code) : is_os_(true), code_(code) {}
  constexpr SystemError(SystemErrorKind kind, std::string_view message)
      : is_os_(false), kind_(kind), message_(message) {}

  bool is_os_;
  std::int32_t code_ = 0;
  SystemErrorKind kind_ = SystemErrorKind::Uncategorized;
  std::string_view message_;
};

// The system's description of a Windows (or, with bit 28 set, native
// status) code, trimmed of trailing white space; a failed lookup or an
// undecodable message is described in the text itself. Never fails.
std::string describe_os_code(std::int32_t code);

// Appends `text` in double quotes with the escapes of the diagnostic form.
// Example: a"b<TAB>c<U+0301> -> "a\"b\tc\u{301}"
void append_quoted(std::string& out, std::string_view text);

// The signed decimal form of a code: 0xC0000005 -> "-1073741819".
std::string signed_decimal(std::int32_t value);

// The fixed messages of the program.
namespace errors {
inline constexpr SystemError program_not_found = SystemError::fixed(SystemErrorKind::NotFound, "program not found");
inline constexpr SystemError no_file_name =
    SystemError::fixed(SystemErrorKind::InvalidInput, "program path has no file name");
inline constexpr SystemError nul_in_data =
    SystemError::fixed(SystemErrorKind::InvalidInput, "nul byte found in provided data");
inline constexpr SystemError nul_in_wide_text =
    SystemError::fixed(SystemErrorKind::InvalidInput, "strings passed to WinAPI cannot contain NULs");
inline constexpr SystemError bad_windows_file_name =
    SystemError::fixed(SystemErrorKind::InvalidInput, "Windows file names may not contain `\"` or end with `\\`");
// The program never starts a batch script: those run through cmd.exe, whose
// command-line rules differ from the ones the arguments are quoted for.
inline constexpr SystemError batch_script_refused =
    SystemError::fixed(SystemErrorKind::InvalidInput, "batch scripts cannot be started");
inline constexpr SystemError unpaired_surrogate_input = SystemError::fixed(
    SystemErrorKind::InvalidData,
    "Windows stdin in console mode does not support non-UTF-16 input; encountered unpaired surrogate");
inline constexpr SystemError non_utf8_console_output = SystemError::fixed(
    SystemErrorKind::InvalidData, "Windows stdio in console mode does not support writing non-UTF-8 byte sequences");
inline constexpr SystemError write_zero =
    SystemError::fixed(SystemErrorKind::WriteZero, "failed to write whole buffer");
inline constexpr SystemError write_zero_buffered =
    SystemError::fixed(SystemErrorKind::WriteZero, "failed to write the buffered data");
}  // namespace errors

}  // namespace vant
