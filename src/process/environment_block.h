// The environment block a child gets when the program changes some of its
// variables.
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>

#include "paths/path_text.h"
#include "platform/system_error.h"

namespace vant {

// One change to a child's environment: the variable `name` gets `value`,
// or is removed when there is none.
struct VariableChange {
  std::string name;  // UTF-8
  std::optional<PathText> value;
};

// Whether two variable names are one variable as Windows looks them up:
// equal after upper-casing. Besides ASCII, the two letters that Unicode
// upper-cases to ASCII (dotless i to I, long s to S) and the Kelvin sign
// (a k) count as their ASCII letters: should Windows' own table fold them
// too, a removal of "SSL_CERT_FILE" still reaches a variable spelt with a
// long s, and removing a look-alike that Windows keeps apart costs nothing.
// Example: "Path" and "PATH" -> true; "TMP" and "TEMP" -> false.
bool same_variable_name(std::u16string_view a, std::u16string_view b);

// This process's environment (GetEnvironmentStringsW) with the changes
// applied in order, as CreateProcessW takes it with
// CREATE_UNICODE_ENVIRONMENT: "name=value" strings, each ending in a NUL,
// sorted by name without case as Windows keeps them, then one more NUL.
// A variable of the same name, whatever its case, is replaced or removed;
// Windows' hidden per-drive folders ("=C:=C:\\work") stay as they are.
// Errors: GetEnvironmentStringsW's; ERROR_INVALID_PARAMETER for an empty
// name or one with '=' after its first unit (SetEnvironmentVariableW's
// rule); "strings passed to WinAPI cannot contain NULs" for a NUL in a name
// or value.
std::expected<std::u16string, SystemError> build_environment_block(std::span<const VariableChange> changes);

}  // namespace vant
