#include "console/stdin_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/stdin_read.h"
#include "fake_windows.h"
#include "support/process_end.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::fail_fast_code;
using testing::SeamTest;
using ReadAnswer = fake::ByteStream::ReadAnswer;

// The Enter prompt skips one line and keeps nothing of it: what a skip
// consumed shows what was read (UTF-8 bytes, also from a console), and the
// next skip shows what was left for it. The text a console read gives is
// compared byte for byte where it is made (ConsoleInputTest's std_read).
using Skip = std::expected<std::size_t, SystemError>;

// ---- Files and pipes ------------------------------------------------------

class ByteInputTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    streams_ = w().use_byte_streams();
    in_ = streams_.input;
  }

  fake::FakeWindows::StdStreams streams_;
  std::shared_ptr<fake::ByteStream> in_;
};

TEST_F(ByteInputTest, FileOfTwoLinesGivesOneLinePerCall) {
  in_->readable = "first\nsecond\n";
  EXPECT_EQ(skip_stdin_line(), 6u);
  EXPECT_EQ(in_->read_requests, std::vector<std::size_t>{12288});
  // The second line was read with the first and waits in the buffer.
  EXPECT_EQ(skip_stdin_line(), 7u);
  EXPECT_EQ(in_->read_requests.size(), 1u);
  EXPECT_EQ(skip_stdin_line(), 0u);
}

TEST_F(ByteInputTest, LineSpreadOverSeveralReadsIsSkippedWhole) {
  in_->readable = "abcdefg\nrest";
  in_->max_read = 3;
  EXPECT_EQ(skip_stdin_line(), 8u);
  EXPECT_EQ(in_->read_requests.size(), 3u);
  EXPECT_EQ(skip_stdin_line(), 4u);
}

// Skipping a line keeps nothing, checks nothing, and leaves what follows
// the line feed for the next read.
TEST_F(ByteInputTest, SkippedLineLeavesTheRestForTheNextRead) {
  in_->readable = "\xFF not UTF-8 \r\nrest\n";
  in_->max_read = 5;
  EXPECT_EQ(skip_stdin_line(), 14u);
  EXPECT_EQ(skip_stdin_line(), 5u);
  EXPECT_EQ(skip_stdin_line(), 0u);
}

TEST_F(ByteInputTest, SkippingEndsAtEndOfInputOrAtAnError) {
  in_->readable = "no line end";
  EXPECT_EQ(skip_stdin_line(), 11u);
  EXPECT_EQ(skip_stdin_line(), 0u);

  in_->read_answers.push_back({.status = win::STATUS_DISK_FULL});
  EXPECT_EQ(skip_stdin_line(), std::unexpected(SystemError::from_code(112)));
}

TEST_F(ByteInputTest, ReadFailureInsideALineIsItsError) {
  in_->read_answers = {ReadAnswer{win::STATUS_SUCCESS, "abc"},
                       ReadAnswer{static_cast<win::NTSTATUS>(0xC0000022)}};  // access denied
  const Skip skipped = skip_stdin_line();
  ASSERT_FALSE(skipped.has_value());
  EXPECT_EQ(skipped.error().os_code(), 5);
}

struct EndCase {
  const char* name;
  win::NTSTATUS end_status;
};

class EndOfInput : public ByteInputTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndOfInput, ReturnsZeroAtOnce) {
  in_->end_status = GetParam().end_status;
  EXPECT_EQ(skip_stdin_line(), 0u);
  EXPECT_EQ(in_->read_requests.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndOfInput,
                         ::testing::Values(EndCase{"EmptyFileOrNul", win::STATUS_END_OF_FILE},
                                           EndCase{"PipeWriterGone109", win::STATUS_PIPE_BROKEN},
                                           EndCase{"PipeClosing232", static_cast<win::NTSTATUS>(0xC00000B1)},
                                           EndCase{"ClosedHandle6", win::STATUS_INVALID_HANDLE}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(ByteInputTest, OtherReadFailuresAreErrors) {
  in_->end_status = win::STATUS_DISK_FULL;
  const Skip skipped = skip_stdin_line();
  ASSERT_FALSE(skipped.has_value());
  EXPECT_EQ(skipped.error().os_code(), 112);
}

TEST_F(ByteInputTest, PendingReadIsWaitedFor) {
  in_->read_answers = {ReadAnswer{win::STATUS_SUCCESS, "late\n", true}};
  EXPECT_EQ(skip_stdin_line(), 5u);
  EXPECT_EQ(w().count_calls("WaitForSingleObject"), 1u);
}

TEST_F(ByteInputTest, PendingReadThatEndsAtEndOfFileIsEndOfInput) {
  in_->read_answers = {ReadAnswer{win::STATUS_END_OF_FILE, "", true}};
  EXPECT_EQ(skip_stdin_line(), 0u);
}

TEST_F(ByteInputTest, ReadStillPendingAfterTheWaitEndsTheProcess) {
  in_->read_answers = {ReadAnswer{win::STATUS_SUCCESS, "", true, true}};
  EXPECT_EQ(fail_fast_code([] { (void)skip_stdin_line(); }), 7u);
  EXPECT_EQ(streams_.error->written,
            "fatal runtime error: I/O error: operation failed to complete synchronously, aborting\n");
}

struct MissingInputCase {
  const char* name;
  win::HANDLE handle;
  win::DWORD last_error;
  std::optional<std::int32_t> error;  // nothing: end of input
  std::vector<std::string> calls;
};

class MissingInput : public SeamTest, public ::testing::WithParamInterface<MissingInputCase> {};

TEST_P(MissingInput, IsEndOfInputOnlyForCode6) {
  w().std_input = GetParam().handle;
  w().std_handle_error = GetParam().last_error;
  const Skip skipped = skip_stdin_line();
  if (GetParam().error) {
    ASSERT_FALSE(skipped.has_value());
    EXPECT_EQ(skipped.error().os_code(), *GetParam().error);
  } else {
    EXPECT_EQ(skipped, 0u);
  }
  EXPECT_EQ(w().calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingInput,
    ::testing::Values(MissingInputCase{"NoHandle", win::NULL_HANDLE, 0, {}, {"GetStdHandle(-10)"}},
                      MissingInputCase{"FetchFailedWith6", win::INVALID_HANDLE_VALUE, 6, {}, {"GetStdHandle(-10)"}},
                      MissingInputCase{"FetchFailedWith5", win::INVALID_HANDLE_VALUE, 5, 5, {"GetStdHandle(-10)"}}),
    [](const auto& test) { return std::string(test.param.name); });

// ---- Console --------------------------------------------------------------

class ConsoleInputTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    console_ = w().use_console(936).console;
  }

  void type(std::u16string units) { console_->reads.push_back(fake::Console::Read{std::move(units)}); }

  std::shared_ptr<fake::Console> console_;
};

TEST_F(ConsoleInputTest, EnterGivesCarriageReturnAndLineFeed) {
  type(u"\r\n");
  EXPECT_EQ(skip_stdin_line(), 2u);
}

TEST_F(ConsoleInputTest, TypedTextIsConvertedToUtf8) {
  type(u"你好 😀\r\n");
  char buffer[12288];
  char16_t pending = 0;
  const auto read = std_read(buffer, pending);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(std::string(buffer, *read), "你好 😀\r\n");
  EXPECT_EQ(w().count_calls("NtReadFile"), 0u);

  type(u"你好 😀\r\n");
  EXPECT_EQ(skip_stdin_line(), 6u + 1 + 4 + 2) << "UTF-8 bytes, not units";
}

TEST_F(ConsoleInputTest, EveryReadWakesOnCtrlZAndStartsWithACleanLastError) {
  type(u"abc\x1A");
  type(u"\r\n");
  (void)skip_stdin_line();
  ASSERT_EQ(console_->read_requests.size(), 2u);
  for (const auto& request : console_->read_requests) {
    EXPECT_TRUE(request.had_control);
    EXPECT_EQ(request.units_wanted, 4096u);
    EXPECT_EQ(request.control.nLength, 16u);
    EXPECT_EQ(request.control.nInitialChars, 0u);
    EXPECT_EQ(request.control.dwCtrlWakeupMask, 1u << 26);
    EXPECT_EQ(request.control.dwControlKeyState, 0u);
  }
  for (std::size_t i = 0; i < w().calls.size(); ++i) {
    if (w().calls[i].starts_with("ReadConsoleW")) {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(w().calls[i - 1], "SetLastError(0)");
    }
  }
}

TEST_F(ConsoleInputTest, CtrlZAtTheStartIsEndOfInput) {
  type(u"\x1A");
  EXPECT_EQ(skip_stdin_line(), 0u);
  EXPECT_EQ(w().count_calls("ReadConsoleW"), 1u);
  EXPECT_EQ(w().count_calls("WideCharToMultiByte"), 0u);
}

TEST_F(ConsoleInputTest, CtrlZAfterTextKeepsWaitingForTheLine) {
  type(u"abc\x1A");
  type(u"de\r\n");
  EXPECT_EQ(skip_stdin_line(), 7u) << "abcde\\r\\n";
  EXPECT_EQ(w().count_calls("ReadConsoleW"), 2u);
}

TEST_F(ConsoleInputTest, CancelledReadIsIssuedAgain) {
  console_->reads.push_back(fake::Console::Read{u"", true});
  console_->reads.push_back(fake::Console::Read{u"", true});
  type(u"ok\r\n");
  EXPECT_EQ(skip_stdin_line(), 4u);
  EXPECT_EQ(w().count_calls("ReadConsoleW"), 3u);
  EXPECT_EQ(w().count_calls("SetLastError"), 3u);
}

TEST_F(ConsoleInputTest, EarlierErrorCodeIsNotTakenForACancel) {
  win::SetLastError(win::ERROR_OPERATION_ABORTED);
  type(u"");  // a read that delivers nothing and sets no error
  EXPECT_EQ(skip_stdin_line(), 0u);
  EXPECT_EQ(w().count_calls("ReadConsoleW"), 1u);
}

TEST_F(ConsoleInputTest, FailedReadIsAnError) {
  console_->reads.push_back(fake::Console::Read{u"", false, 8});
  const Skip skipped = skip_stdin_line();
  ASSERT_FALSE(skipped.has_value());
  EXPECT_EQ(skipped.error().os_code(), 8);
}

TEST_F(ConsoleInputTest, HighSurrogateEndingAReadWaitsForItsLowHalf) {
  // The 4096th unit is the high half of 😀; the console delivers the rest
  // with the next read.
  type(std::u16string(4095, u'a') + u"😀\r\n");
  // Split, each half would fail to convert.
  EXPECT_EQ(skip_stdin_line(), 4095u + 4 + 2);
  ASSERT_EQ(console_->read_requests.size(), 2u);
  EXPECT_EQ(console_->read_requests[1].units_wanted, 4095u) << "after the held unit";
  EXPECT_EQ(w().calls.back(), "WideCharToMultiByte(65001,128,4)");
}

TEST_F(ConsoleInputTest, LineLongerThanOneReadIsSkippedWhole) {
  type(std::u16string(5000, u'进') + u"\r\n");
  EXPECT_EQ(skip_stdin_line(), 15002u);
  EXPECT_EQ(console_->read_requests.size(), 2u);
}

TEST_F(ConsoleInputTest, UnpairedSurrogateIsAnError) {
  type(u"a\xDC00\r\n");
  const Skip skipped = skip_stdin_line();
  ASSERT_FALSE(skipped.has_value());
  EXPECT_EQ(skipped.error().display_text(),
            "Windows stdin in console mode does not support non-UTF-16 input; encountered unpaired surrogate");
}

TEST_F(ConsoleInputTest, TextAfterTheLineWaitsForTheNextCall) {
  type(u"one\r\ntwo\r\n");
  EXPECT_EQ(skip_stdin_line(), 5u);
  EXPECT_EQ(skip_stdin_line(), 5u);
  EXPECT_EQ(w().count_calls("ReadConsoleW"), 1u);
}

TEST_F(ConsoleInputTest, ReadConsoleUnitsDropsCtrlZAndHoldsAHighSurrogate) {
  char16_t units[kConsoleReadUnits];
  char16_t pending = 0;
  type(u"ab\xD83D");
  EXPECT_EQ(read_console_units(w().std_input, units, 4096, pending), 2u);
  EXPECT_EQ(pending, 0xD83D);
  type(u"\xDE00\x1A");
  EXPECT_EQ(read_console_units(w().std_input, units, 4096, pending), 2u);
  EXPECT_EQ(std::u16string(units, 2), u"😀");
  EXPECT_EQ(pending, 0);
}

}  // namespace
}  // namespace vant
