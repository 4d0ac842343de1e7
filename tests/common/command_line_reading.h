// The reference reading of a command line, shared by the native round-trip
// test and the command-line fuzzer: written apart from the builder, so that
// the two cannot share a mistake.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vant::testing {

// An independent reading of a command line by the rules of the modern C
// runtime (the argv a child's main receives). CommandLineToArgvW agrees with
// it on everything except two constructs, which it records so that a test
// can show the builder never produces them.
struct ParsedCommandLine {
  std::vector<std::u16string> argv;
  // A program name's closing quote directly followed by more text, as in
  // "prog"x: the runtime continues the program name, CommandLineToArgvW
  // starts a new argument.
  bool text_after_program_quote = false;
  // Two quotes inside a quoted part, as in "a""b": the runtime reads one
  // literal quote and stays quoted; CommandLineToArgvW and older runtimes
  // differ.
  bool doubled_quote = false;
  // A quoted part still open at the end of the line, as in "a b: readers
  // disagree on what the last argument is.
  bool unterminated_quote = false;
};

inline bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

inline ParsedCommandLine parse_like_c_runtime(std::u16string_view line) {
  ParsedCommandLine parsed;
  std::size_t i = 0;
  // The program name: quotes group and are dropped; no escapes at all.
  std::u16string program;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == u'"') {
      if (quoted && i + 1 < line.size() && !is_blank(line[i + 1])) parsed.text_after_program_quote = true;
      quoted = !quoted;
    } else if (!quoted && is_blank(c)) {
      break;
    } else {
      program.push_back(c);
    }
  }
  if (quoted) parsed.unterminated_quote = true;
  parsed.argv.push_back(program);

  for (;;) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) break;
    std::u16string argument;
    quoted = false;
    while (i < line.size()) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == u'\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == u'"') {
        argument.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          argument.push_back(u'"');
        } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          parsed.doubled_quote = true;
          argument.push_back(u'"');
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
        continue;
      }
      argument.append(backslashes, u'\\');
      if (i == line.size() || (!quoted && is_blank(line[i]))) break;
      argument.push_back(line[i]);
      ++i;
    }
    if (quoted) parsed.unterminated_quote = true;
    parsed.argv.push_back(std::move(argument));
  }
  return parsed;
}

}  // namespace vant::testing
