// The child's command line: whatever the program text and arguments, a child
// that splits the line by the Windows rules gets back exactly what was given,
// and only a NUL anywhere or a '"' in the program is refused.
//
// Input: unit texts (see support/fuzz_support.h); the first is the program,
// the rest are the arguments.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "paths/path_text.h"
#include "platform/system_error.h"
#include "process/command_line.h"
#include "support/fuzz_support.h"

namespace vant::fuzz {
namespace {

bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

struct ParsedLine {
  std::vector<std::u16string> argv;
  // Constructs on which the Windows parsers (CommandLineToArgvW, the old
  // and new C runtimes) do not agree. The builder must never produce them.
  bool text_after_program_quote = false;  // "prog"x
  bool doubled_quote_in_quotes = false;   // "a""b"
  bool unterminated_quote = false;        // "a b
};

// Splits a command line by the rules of CommandLineToArgvW:
// - the program name runs to the next blank, or, when it starts with '"',
//   to the next '"'; it has no escapes;
// - in arguments, 2n backslashes and a '"' give n backslashes and the quote
//   opens or closes a quoted part; 2n + 1 backslashes and a '"' give n
//   backslashes and a literal '"'; backslashes before anything else are
//   literal; blanks outside quoted parts separate arguments.
// Inside a quoted part, "" is read as one literal '"' (the newer runtimes'
// reading) and recorded, since others read it differently.
ParsedLine parse_command_line(std::u16string_view line) {
  ParsedLine parsed;
  std::size_t i = 0;
  std::u16string program;
  if (!line.empty() && line[0] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    if (close == std::u16string_view::npos) {
      program = line.substr(1);
      parsed.unterminated_quote = true;
      i = line.size();
    } else {
      program = line.substr(1, close - 1);
      i = close + 1;
      if (i < line.size() && !is_blank(line[i])) parsed.text_after_program_quote = true;
    }
  } else {
    while (i < line.size() && !is_blank(line[i])) program += line[i++];
  }
  parsed.argv.push_back(program);

  for (;;) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) break;
    std::u16string argument;
    bool quoted = false;
    while (i < line.size()) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == u'\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == u'"') {
        argument.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          argument += u'"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          parsed.doubled_quote_in_quotes = true;
          argument += u'"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
        continue;
      }
      argument.append(backslashes, u'\\');
      if (i == line.size() || (!quoted && is_blank(line[i]))) break;
      argument += line[i++];
    }
    if (quoted) parsed.unterminated_quote = true;
    parsed.argv.push_back(std::move(argument));
  }
  return parsed;
}

bool has_nul(std::u16string_view text) { return text.find(u'\0') != std::u16string_view::npos; }

std::string context_of(const std::vector<std::u16string>& texts, std::u16string_view line, const ParsedLine& parsed) {
  return "program and arguments:\n" + show(texts) + "line:\n  " + show(line) + "\nparsed:\n" + show(parsed.argv);
}

void check_parses_back(const std::vector<std::u16string>& expected, std::u16string_view line,
                       const std::vector<std::u16string>& texts) {
  const ParsedLine parsed = parse_command_line(line);
  const auto context = [&] { return context_of(texts, line, parsed); };
  FUZZ_CHECK(!has_nul(line), context());
  FUZZ_CHECK(!parsed.text_after_program_quote, context());
  FUZZ_CHECK(!parsed.doubled_quote_in_quotes, context());
  FUZZ_CHECK(!parsed.unterminated_quote, context());
  FUZZ_CHECK(parsed.argv == expected, context());
}

}  // namespace
}  // namespace vant::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vant;
  using namespace vant::fuzz;

  const std::vector<std::u16string> texts = read_unit_texts(data, size);
  const std::u16string& program = texts.front();
  const std::vector<std::u16string> arguments(texts.begin() + 1, texts.end());
  std::vector<PathText> argument_texts;
  for (const std::u16string& argument : arguments) argument_texts.push_back(PathText::from_wtf8(wtf8_of(argument)));

  // The refusals, in the order the builder checks them.
  std::optional<SystemError> refusal;
  if (has_nul(program)) {
    refusal = errors::nul_in_data;
  } else if (program.find(u'"') != std::u16string::npos) {
    refusal = errors::bad_windows_file_name;
  } else {
    for (const std::u16string& argument : arguments) {
      if (has_nul(argument)) refusal = errors::nul_in_data;
    }
  }

  const auto line = build_command_line(wtf8_of(program), argument_texts);
  if (refusal) {
    FUZZ_CHECK(!line.has_value() && line.error() == *refusal,
               "expected the refusal \"" + refusal->display_text() + "\" for\n" + show(texts) +
                   (line ? "got the line " + show(*line) : "got \"" + line.error().display_text() + "\""));
  } else {
    FUZZ_CHECK(line.has_value(), "refused \"" + line.error().display_text() + "\":\n" + show(texts));
    check_parses_back(texts, *line, texts);
  }

  // Each argument on its own after a program, and nothing appended when an
  // argument is refused.
  for (const std::u16string& argument : arguments) {
    std::u16string single = u"\"p\" ";
    const auto appended = append_argument(single, wtf8_of(argument));
    if (has_nul(argument)) {
      FUZZ_CHECK(!appended.has_value() && appended.error() == errors::nul_in_data && single == u"\"p\" ",
                 "argument with NUL " + show(argument) + " gave " + show(single));
    } else {
      FUZZ_CHECK(appended.has_value(), "refused " + show(argument));
      check_parses_back({u"p", argument}, single, {u"p", argument});
    }
  }
  return 0;
}
