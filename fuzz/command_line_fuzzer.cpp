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

#include "command_line_reading.h"
#include "paths/path_text.h"
#include "platform/system_error.h"
#include "process/command_line.h"
#include "support/fuzz_support.h"

namespace vant::fuzz {
namespace {

using testing::parse_like_c_runtime;
using ParsedLine = testing::ParsedCommandLine;

bool has_nul(std::u16string_view text) { return text.find(u'\0') != std::u16string_view::npos; }

std::string context_of(const std::vector<std::u16string>& texts, std::u16string_view line, const ParsedLine& parsed) {
  return "program and arguments:\n" + show(texts) + "line:\n  " + show(line) + "\nparsed:\n" + show(parsed.argv);
}

void check_parses_back(const std::vector<std::u16string>& expected, std::u16string_view line,
                       const std::vector<std::u16string>& texts) {
  const ParsedLine parsed = parse_like_c_runtime(line);
  const auto context = [&] { return context_of(texts, line, parsed); };
  FUZZ_CHECK(!has_nul(line), context());
  FUZZ_CHECK(!parsed.text_after_program_quote, context());
  FUZZ_CHECK(!parsed.doubled_quote, context());
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
