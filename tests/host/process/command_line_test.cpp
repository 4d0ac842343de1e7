#include "process/command_line.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "command_line_reading.h"
#include "fake_windows.h"
#include "paths/path_text.h"
#include "random_arguments.h"

namespace vant {
namespace {

using testing::parse_like_c_runtime;
using testing::ParsedCommandLine;

using namespace std::string_view_literals;

std::vector<PathText> texts(std::initializer_list<std::string_view> list) {
  std::vector<PathText> out;
  for (std::string_view text : list) out.push_back(PathText::from_utf8(text));
  return out;
}

struct QuotingCase {
  const char* name;
  std::string argument;
  std::u16string appended;
};

TEST(AppendArgument, QuotesOnlyForSpaceTabOrEmptyAndEscapesQuotes) {
  const QuotingCase cases[] = {
      {"plain option", "--retry-delay", u"--retry-delay"},
      {"empty", "", u"\"\""},
      {"path with space", "C:\\Users\\A B\\Temp\\file.exe", u"\"C:\\Users\\A B\\Temp\\file.exe\""},
      {"trailing backslash with space", "C:\\dir with space\\", u"\"C:\\dir with space\\\\\""},
      {"quotes with space", "say \"hi\"", u"\"say \\\"hi\\\"\""},
      {"escaped quote unquoted", "a\\\"b", u"a\\\\\\\"b"},
      {"backslash not before quote", "a\\b", u"a\\b"},
      {"trailing backslashes unquoted", "a\\\\", u"a\\\\"},
      {"lone quote", "\"", u"\\\""},
      {"tab", "a\tb", u"\"a\tb\""},
      {"line feed does not quote", "a\nb", u"a\nb"},
      {"carriage return does not quote", "a\r\nb", u"a\r\nb"},
      {"only a space", " ", u"\" \""},
      {"backslash run before quote inside quotes", "x \\\\\"", u"\"x \\\\\\\\\\\"\""},
      {"Chinese", "下载", u"下载"},
      {"outside the BMP", "C:\\Users\\\xF0\x9F\x98\x80 x", u"\"C:\\Users\\\U0001F600 x\""},
  };
  for (const QuotingCase& c : cases) {
    std::u16string line = u"\"p\"";
    ASSERT_TRUE(append_argument(line, c.argument).has_value()) << c.name;
    EXPECT_EQ(line, u"\"p\"" + c.appended) << c.name;
  }
}

TEST(AppendArgument, LoneSurrogateOfAPathGoesOutAsThatUnit) {
  const PathText path = path_from_wide(std::u16string{u'C', u':', u'\\', 0xDC00, u' ', 0xD800});
  std::u16string line;
  ASSERT_TRUE(append_argument(line, path.bytes()).has_value());
  EXPECT_EQ(line, (std::u16string{u'"', u'C', u':', u'\\', 0xDC00, u' ', 0xD800, u'"'}));
}

TEST(AppendArgument, NulIsRefusedAndNothingIsAppended) {
  for (std::string_view argument : {"\0"sv, "a\0b"sv, "a b\0"sv}) {
    std::u16string line = u"\"p\" x";
    const auto appended = append_argument(line, argument);
    EXPECT_EQ(appended, std::unexpected(errors::nul_in_data));
    EXPECT_EQ(line, u"\"p\" x");
  }
}

TEST(BuildCommandLine, DownloadToolLine) {
  const std::vector<PathText> args =
      texts({"--disable", "-L", "--proto-redir", "=https", "--fail", "--progress-bar", "--retry", "3", "--retry-delay",
             "2", "--connect-timeout", "120", "--speed-limit", "1", "--speed-time", "120", "-o",
             "C:\\Users\\A B\\AppData\\Local\\Temp\\vant_installer_latest.exe", "https://download.vant.example/x"});
  EXPECT_EQ(build_command_line("curl", args),
            u"\"curl\" --disable -L --proto-redir =https --fail --progress-bar --retry 3 --retry-delay 2 "
            u"--connect-timeout 120 --speed-limit 1 --speed-time 120 -o "
            u"\"C:\\Users\\A B\\AppData\\Local\\Temp\\vant_installer_latest.exe\" https://download.vant.example/x");
}

TEST(BuildCommandLine, ProgramIsAlwaysQuotedAndNeverEscaped) {
  struct Case {
    std::string program;
    std::u16string line;
  };
  const Case cases[] = {
      {"curl", u"\"curl\""},
      {"C:\\Users\\A B\\Temp\\vant_installer_latest.exe", u"\"C:\\Users\\A B\\Temp\\vant_installer_latest.exe\""},
      {"C:\\a\\\\b", u"\"C:\\a\\\\b\""},
      {"\\\\?\\C:\\x.exe", u"\"\\\\?\\C:\\x.exe\""},
      {"C:\\\xE7\x94\xA8\xE6\x88\xB7\\\xF0\x9F\x98\x80.exe", u"\"C:\\用户\\\U0001F600.exe\""},
  };
  for (const Case& c : cases) EXPECT_EQ(build_command_line(c.program, {}), c.line) << c.program;
}

TEST(BuildCommandLine, FailsWhollyOnANulInAnyArgument) {
  const std::vector<PathText> args = {PathText::from_utf8("ok"), PathText::from_utf8("bad\0"sv),
                                      PathText::from_utf8("later")};
  EXPECT_EQ(build_command_line("curl", args), std::unexpected(errors::nul_in_data));
  EXPECT_EQ(build_command_line("cu\0rl"sv, {}), std::unexpected(errors::nul_in_data));
}

TEST(BuildCommandLine, RefusesAQuoteInTheProgram) {
  // The program's quotes cannot be escaped: a '"' in it would end the first
  // argument early and turn the rest into arguments of the caller's making.
  const auto line = build_command_line("C:\\a\" --evil \"b.exe", {});
  EXPECT_EQ(line, std::unexpected(errors::bad_windows_file_name));
  EXPECT_EQ(errors::bad_windows_file_name.display_text(), "Windows file names may not contain `\"` or end with `\\`");
}

TEST(CommandLineReference, PinsTheConstructsWhereParsersDiffer) {
  // Under Wine, CommandLineToArgvW reads these two differently from the C
  // runtime; they are pinned here, natively, and never built.
  const ParsedCommandLine after_quote = parse_like_c_runtime(u"\"prog\"x y");
  EXPECT_EQ(after_quote.argv, (std::vector<std::u16string>{u"progx", u"y"}));
  EXPECT_TRUE(after_quote.text_after_program_quote);

  const ParsedCommandLine doubled = parse_like_c_runtime(u"p \"a\"\"\"b c\"");
  EXPECT_EQ(doubled.argv, (std::vector<std::u16string>{u"p", u"a\"b", u"c"}));
  EXPECT_TRUE(doubled.doubled_quote);
}

TEST(CommandLineReference, ReadsTheDocumentedExamples) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> argv;
  };
  const Case cases[] = {
      {u"\"p\" \"a b c\" d e", {u"p", u"a b c", u"d", u"e"}},
      {u"\"p\" \"ab\\\"c\" \"\\\\\" d", {u"p", u"ab\"c", u"\\", u"d"}},
      {u"\"p\" a\\\\\\b d\"e f\"g h", {u"p", u"a\\\\\\b", u"de fg", u"h"}},
      {u"\"p\" a\\\\\\\"b c d", {u"p", u"a\\\"b", u"c", u"d"}},
      {u"\"p\" a\\\\\\\\\"b c\" d e", {u"p", u"a\\\\b c", u"d", u"e"}},
      {u"\"p\"  \t \"\"  ", {u"p", u""}},
      {u"\"a b\\\" c", {u"a b\\", u"c"}},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = parse_like_c_runtime(c.line);
    EXPECT_EQ(parsed.argv, c.argv) << testing::describe(c.line);
    EXPECT_FALSE(parsed.doubled_quote || parsed.text_after_program_quote) << testing::describe(c.line);
  }
}

TEST(CommandLineRoundTrip, EveryArgumentComesBackExactly) {
  const std::uint64_t seed = testing::property_seed();
  constexpr int kCases = 20000;
  RecordProperty("seed", std::to_string(seed));
  std::cout << "command line round trip: seed " << seed << ", " << kCases << " cases\n";
  testing::RandomArguments random(seed);
  for (int n = 0; n < kCases; ++n) {
    const std::u16string program = random.program();
    const std::vector<std::u16string> arguments = random.arguments();
    std::vector<PathText> texts;
    for (const std::u16string& argument : arguments) texts.push_back(path_from_wide(argument));

    const auto line = build_command_line(path_from_wide(program).bytes(), texts);
    ASSERT_TRUE(line.has_value()) << "seed " << seed << " case " << n;
    const ParsedCommandLine parsed = parse_like_c_runtime(*line);

    std::string context = "seed " + std::to_string(seed) + " case " + std::to_string(n) + "\nprogram " +
                          testing::describe(program) + "\n";
    for (const std::u16string& argument : arguments) context += "arg " + testing::describe(argument) + "\n";
    context += "line " + testing::describe(*line);

    ASSERT_FALSE(parsed.text_after_program_quote) << context;
    ASSERT_FALSE(parsed.doubled_quote) << context;
    ASSERT_EQ(parsed.argv.size(), arguments.size() + 1) << context;
    ASSERT_EQ(parsed.argv[0], program) << context;
    for (std::size_t i = 0; i < arguments.size(); ++i) ASSERT_EQ(parsed.argv[i + 1], arguments[i]) << context;
  }
}

}  // namespace
}  // namespace vant
