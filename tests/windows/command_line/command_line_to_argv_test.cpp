// The command lines the program builds, split again by the system's own
// CommandLineToArgvW: every argument must come back unit for unit. Where the
// C runtime and CommandLineToArgvW read a line differently ("prog"x, or ""
// inside quotes) the builder never goes; the native tests pin that.
#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "paths/path_text.h"
#include "process/command_line.h"
#include "random_arguments.h"

// After the program's headers: <windows.h> turns many names into macros.
#include <windows.h>
#include <shellapi.h>

namespace vant {
namespace {

// The arguments CommandLineToArgvW reads from `line`.
std::vector<std::u16string> split_by_windows(const std::u16string& line) {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(reinterpret_cast<LPCWSTR>(line.c_str()), &count);
  if (argv == nullptr) {
    ADD_FAILURE() << "CommandLineToArgvW failed with " << ::GetLastError();
    return {};
  }
  std::vector<std::u16string> out;
  for (int i = 0; i < count; ++i) out.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  ::LocalFree(argv);
  return out;
}

std::u16string line_for(const std::u16string& program, const std::vector<std::u16string>& arguments) {
  std::vector<PathText> texts;
  for (const std::u16string& argument : arguments) texts.push_back(path_from_wide(argument));
  const auto line = build_command_line(path_from_wide(program).bytes(), texts);
  EXPECT_TRUE(line.has_value());
  return line.value_or(u"");
}

TEST(CommandLineToArgvW, ReadsTheQuotingExamplesBack) {
  const std::vector<std::u16string> arguments = {
      u"--retry-delay",
      u"",
      u"C:\\Users\\A B\\Temp\\file.exe",
      u"C:\\dir with space\\",
      u"say \"hi\"",
      u"a\\\"b",
      u"a\\b",
      u"tab\there",
      u"line\nfeed",
      u"\u4E0B\u8F7D \U0001F600",
      u"\\\\",
      u"\"",
  };
  const std::u16string program = u"C:\\Users\\A B\\Temp\\vant_installer_latest.exe";
  std::vector<std::u16string> expected = {program};
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(split_by_windows(line_for(program, arguments)), expected);
}

TEST(CommandLineToArgvW, RoundTripsRandomArguments) {
  const std::uint64_t seed = testing::property_seed();
  constexpr int kCases = 50000;
  std::cout << "CommandLineToArgvW round trip: seed " << seed << ", " << kCases << " cases" << std::endl;
  testing::RandomArguments random(seed);
  for (int n = 0; n < kCases; ++n) {
    const std::u16string program = random.program();
    const std::vector<std::u16string> arguments = random.arguments();
    const std::u16string line = line_for(program, arguments);
    const std::vector<std::u16string> split = split_by_windows(line);

    std::string context = "seed " + std::to_string(seed) + " case " + std::to_string(n) + "\nprogram " +
                          testing::describe(program) + "\n";
    for (const std::u16string& argument : arguments) context += "arg " + testing::describe(argument) + "\n";
    context += "line " + testing::describe(line);

    ASSERT_EQ(split.size(), arguments.size() + 1) << context;
    ASSERT_EQ(split[0], program) << context;
    for (std::size_t i = 0; i < arguments.size(); ++i) ASSERT_EQ(split[i + 1], arguments[i]) << context;
  }
}

}  // namespace
}  // namespace vant
