#include "process/command_line.h"

#include <cstddef>

#include "platform/unicode.h"

namespace vant {

std::expected<void, SystemError> append_argument(std::u16string& command_line, std::string_view argument) {
  if (argument.find('\0') != std::string_view::npos) return std::unexpected(errors::nul_in_data);
  // Only a space or a tab splits arguments; a line feed does not.
  const bool quoted = argument.empty() || argument.find_first_of(" \t") != std::string_view::npos;

  std::u16string units;
  append_utf16_from_wtf8(units, argument);

  if (quoted) command_line.push_back(u'"');
  std::size_t backslashes = 0;
  for (const char16_t unit : units) {
    if (unit == u'\\') {
      ++backslashes;
    } else if (unit == u'"') {
      // 2b + 1 backslashes before the quote: b literal ones and an escape.
      command_line.append(backslashes + 1, u'\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    command_line.push_back(unit);
  }
  if (quoted) {
    // Trailing backslashes doubled so that they do not escape the closing quote.
    command_line.append(backslashes, u'\\');
    command_line.push_back(u'"');
  }
  return {};
}

std::expected<std::u16string, SystemError> build_command_line(std::string_view program,
                                                              std::span<const PathText> arguments) {
  if (program.find('\0') != std::string_view::npos) return std::unexpected(errors::nul_in_data);
  if (program.find('"') != std::string_view::npos) return std::unexpected(errors::bad_windows_file_name);

  std::u16string line;
  line.push_back(u'"');
  append_utf16_from_wtf8(line, program);
  line.push_back(u'"');
  for (const PathText& argument : arguments) {
    line.push_back(u' ');
    if (auto appended = append_argument(line, argument.bytes()); !appended) {
      return std::unexpected(appended.error());
    }
  }
  return line;
}

}  // namespace vant
