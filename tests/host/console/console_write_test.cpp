#include "console/console_write.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/output.h"
#include "fake_windows.h"
#include "support/process_end.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::fail_fast_code;
using testing::SeamTest;

constexpr std::string_view kNotUtf8 = "Windows stdio in console mode does not support writing non-UTF-8 byte sequences";

// A console (code page 936) on every standard handle.
class ConsoleWriteTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    console_ = w().use_console(936).console;
    handle_ = w().std_output;
  }

  std::shared_ptr<fake::Console> console_;
  win::HANDLE handle_{};
};

TEST(Utf8LengthOfUnits, CountsWhatEachUnitStandsFor) {
  const std::u16string units = u"a\u00E9\u07FF\u0800你\U0001F600\uFFFD";
  EXPECT_EQ(utf8_length_of_units(units), 1u + 2 + 2 + 3 + 3 + 4 + 3);
  // A high surrogate alone counts 3 and a low one 1, so a pair cut between
  // them counts 3 until its low half is taken.
  EXPECT_EQ(utf8_length_of_units(std::u16string_view(u"\xD83D", 1)), 3u);
  EXPECT_EQ(utf8_length_of_units(std::u16string_view(u"\xDE00", 1)), 1u);
}

TEST_F(ConsoleWriteTest, ValidTextIsConvertedAndWrittenOnce) {
  EXPECT_EQ(write_valid_utf8(handle_, "VANT 进销存\n"), 15u);
  EXPECT_EQ(console_->writes, std::vector<std::u16string>{u"VANT 进销存\n"});
  EXPECT_EQ(w().calls, (std::vector<std::string>{"MultiByteToWideChar(15)", "WriteConsoleW(9)"}));
}

struct PartialCase {
  win::DWORD accepted;
  std::size_t bytes;                   // reported as consumed
  std::vector<std::u16string> writes;  // offered to each WriteConsoleW
};

class PartialAcceptance : public ConsoleWriteTest, public ::testing::WithParamInterface<PartialCase> {};

// "a你😀b" is 5 units: a, 你, D83D, DE00, b.
TEST_P(PartialAcceptance, CountsTheBytesOfTheUnitsTaken) {
  console_->accept_limits = {GetParam().accepted};
  const auto bytes = write_valid_utf8(handle_, "a你😀b");
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, GetParam().bytes);
  EXPECT_EQ(console_->writes, GetParam().writes);
}

const std::u16string kAll = u"a你😀b";
INSTANTIATE_TEST_SUITE_P(Cases, PartialAcceptance,
                         ::testing::Values(PartialCase{0, 0, {kAll}}, PartialCase{1, 1, {kAll}},
                                           PartialCase{2, 4, {kAll}},
                                           // Stopped inside the pair: the low half goes out alone.
                                           PartialCase{3, 8, {kAll, u"\xDE00"}}, PartialCase{4, 8, {kAll}},
                                           PartialCase{5, 9, {kAll}}));

TEST_F(ConsoleWriteTest, PairCutByTheConsoleStillShowsWhole) {
  console_->accept_limits = {1};
  EXPECT_EQ(write_valid_utf8(handle_, "😀x"), 4u);
  EXPECT_EQ(console_->screen, u"😀");
}

TEST_F(ConsoleWriteTest, RefusedWriteCarriesTheConsolesCode) {
  console_->write_error = 8;
  const auto bytes = write_valid_utf8(handle_, "abc");
  ASSERT_FALSE(bytes.has_value());
  EXPECT_EQ(bytes.error().os_code(), 8);
}

TEST_F(ConsoleWriteTest, FailedConversionOfValidTextIsFatal) {
  const auto streams = w().use_byte_streams();  // the report goes to a byte stream
  w().on_MultiByteToWideChar = [](const char*, int, char16_t*, int) { return 0; };
  EXPECT_EQ(fail_fast_code([&] { (void)write_valid_utf8(handle_, "abc"); }), 7u);
  EXPECT_EQ(streams.error->written, "Unexpected error in MultiByteToWideChar\n");
  EXPECT_EQ(w().count_calls("WriteConsoleW"), 0u);
}

TEST_F(ConsoleWriteTest, LongTextIsConvertedInWindowsThatDoNotCutACharacter) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "进";
  text += "\n";
  print_stdout(std::string_view(text));
  // 4096 bytes would cut the 1366th character: 4095 bytes first.
  EXPECT_EQ(w().calls, (std::vector<std::string>{"GetStdHandle(-11)", "GetConsoleMode", "GetConsoleOutputCP",
                                                 "MultiByteToWideChar(4095)", "WriteConsoleW(1365)",
                                                 "GetStdHandle(-11)", "GetConsoleMode", "GetConsoleOutputCP",
                                                 "MultiByteToWideChar(1906)", "WriteConsoleW(636)"}));
  EXPECT_EQ(console_->screen, fake::u16(text));
}

TEST_F(ConsoleWriteTest, CarryTakesOneByteAtATime) {
  Utf8Carry carry;
  EXPECT_EQ(write_console_utf8(handle_, carry, "\xE4\xBD"), 1u);
  EXPECT_EQ(carry.count, 1);
  EXPECT_EQ(write_console_utf8(handle_, carry, "\xBD"), 1u);
  EXPECT_EQ(carry.count, 2);
  EXPECT_TRUE(console_->writes.empty());
  EXPECT_EQ(write_console_utf8(handle_, carry, "\xA0zz"), 1u);
  EXPECT_TRUE(carry.empty());
  EXPECT_EQ(console_->writes, std::vector<std::u16string>{u"你"});
}

struct SplitCase {
  std::string name;
  std::vector<std::string> prints;
  std::u16string character;
};

class SplitCharacter : public ConsoleWriteTest, public ::testing::WithParamInterface<SplitCase> {};

// The error stream keeps the start of a character that one print ended in,
// and writes the character whole, as one write of its own, when the rest
// comes with later prints.
TEST_P(SplitCharacter, IsWrittenWholeWhenItsLastByteComes) {
  const auto& prints = GetParam().prints;
  print_stderr(std::string_view(prints.front()));
  EXPECT_EQ(console_->writes, std::vector<std::u16string>{u"a"}) << "nothing of the character yet";
  for (std::size_t i = 1; i < prints.size(); ++i) print_stderr(std::string_view(prints[i]));
  EXPECT_EQ(console_->writes, (std::vector<std::u16string>{u"a", GetParam().character, u"b"}));
  EXPECT_EQ(console_->screen, u"a" + GetParam().character + u"b");
}

std::vector<SplitCase> split_cases() {
  const std::vector<std::pair<std::string, std::u16string>> characters = {
      {"\xC3\xA9", u"é"}, {"\xE4\xBD\xA0", u"你"}, {"\xF0\x9F\x98\x80", u"😀"}};
  std::vector<SplitCase> cases;
  for (const auto& [bytes, units] : characters) {
    // Two prints, cut after every byte but the last.
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
      cases.push_back({std::to_string(bytes.size()) + "Bytes_CutAfter" + std::to_string(cut),
                       {"a" + bytes.substr(0, cut), bytes.substr(cut) + "b"},
                       units});
    }
    // One print per byte.
    SplitCase each{std::to_string(bytes.size()) + "Bytes_OnePrintPerByte", {"a" + bytes.substr(0, 1)}, units};
    for (std::size_t i = 1; i + 1 < bytes.size(); ++i) each.prints.push_back(bytes.substr(i, 1));
    each.prints.push_back(bytes.substr(bytes.size() - 1) + "b");
    cases.push_back(each);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryCut, SplitCharacter, ::testing::ValuesIn(split_cases()),
                         [](const auto& test) { return test.param.name; });

TEST_F(ConsoleWriteTest, CarriedByteFollowedByANewCharacterIsFatal) {
  print_stderr("\xE4");
  EXPECT_EQ(fail_fast_code([] { print_stderr("x"); }), 7u);
  EXPECT_EQ(console_->screen, fake::u16("failed printing to stderr: " + std::string(kNotUtf8) + "\n"));
  // The carry was emptied: the next text starts clean.
  print_stderr("y");
  EXPECT_EQ(console_->writes.back(), u"y");
}

struct BadBytesCase {
  const char* name;
  std::vector<std::string> prints;
  std::u16string written_before;
};

class BadBytes : public ConsoleWriteTest, public ::testing::WithParamInterface<BadBytesCase> {};

TEST_P(BadBytes, AreFatalAfterTheValidBytesBeforeThem) {
  const auto& prints = GetParam().prints;
  for (std::size_t i = 0; i + 1 < prints.size(); ++i) print_stderr(std::string_view(prints[i]));
  EXPECT_EQ(fail_fast_code([&] { print_stderr(std::string_view(prints.back())); }), 7u);
  EXPECT_EQ(console_->screen,
            GetParam().written_before + fake::u16("failed printing to stderr: " + std::string(kNotUtf8) + "\n"));
}

INSTANTIATE_TEST_SUITE_P(Cases, BadBytes,
                         ::testing::Values(BadBytesCase{"InTheMiddle",
                                                        {"ab\xFF"
                                                         "cd"},
                                                        u"ab"},
                                           BadBytesCase{"AtTheStart",
                                                        {"\x80"
                                                         "ab"},
                                                        u""},
                                           BadBytesCase{"TruncatedInside", {"ab\xE4\xBDx"}, u"ab"},
                                           // Each carried byte looked right, the whole is an overlong form.
                                           BadBytesCase{"OverlongAcrossPrints", {"\xE0", "\x80", "\x80"}, u""},
                                           BadBytesCase{"SurrogateAcrossPrints", {"\xED", "\xA0\x80"}, u""}),
                         [](const auto& test) { return std::string(test.param.name); });

// Should the console take nothing of a completed carried character, the
// print fails rather than dropping the character without a word.
TEST_F(ConsoleWriteTest, CompletedCarryThatTheConsoleRefusesIsNotDropped) {
  print_stderr("\xE4\xBD");
  console_->accept_limits = {0};
  EXPECT_EQ(fail_fast_code([] { print_stderr("\xA0"); }), 7u);
  EXPECT_EQ(console_->screen, u"failed printing to stderr: failed to write whole buffer\n");
}

}  // namespace
}  // namespace vant
