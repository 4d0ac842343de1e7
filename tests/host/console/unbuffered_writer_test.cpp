#include "console/unbuffered_writer.h"

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

class StdStreamTest : public SeamTest {};

TEST_F(StdStreamTest, HandleIsFetchedWithTheStreamsNumber) {
  w().use_byte_streams();
  EXPECT_EQ(std_handle(StdStream::Input), w().std_input);
  EXPECT_EQ(std_handle(StdStream::Output), w().std_output);
  EXPECT_EQ(std_handle(StdStream::Error), w().std_error);
  EXPECT_EQ(w().calls, (std::vector<std::string>{"GetStdHandle(-10)", "GetStdHandle(-11)", "GetStdHandle(-12)"}));
}

struct MissingHandleCase {
  const char* name;
  win::HANDLE handle;
  win::DWORD last_error;
  std::int32_t code;
};

class MissingHandle : public SeamTest, public ::testing::WithParamInterface<MissingHandleCase> {};

// No handle at all is code 6 whatever the last error says; a failed fetch
// carries its own code.
TEST_P(MissingHandle, BecomesAnOsError) {
  w().std_output = GetParam().handle;
  w().std_handle_error = GetParam().last_error;
  win::SetLastError(GetParam().last_error);
  const auto handle = std_handle(StdStream::Output);
  ASSERT_FALSE(handle.has_value());
  EXPECT_EQ(handle.error().os_code(), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingHandle,
                         ::testing::Values(MissingHandleCase{"Null", win::NULL_HANDLE, 5, 6},
                                           MissingHandleCase{"InvalidWith6", win::INVALID_HANDLE_VALUE, 6, 6},
                                           MissingHandleCase{"InvalidWith5", win::INVALID_HANDLE_VALUE, 5, 5}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(StdStreamTest, EmptyWriteTouchesNothing) {
  w().use_byte_streams();
  StdWriter writer{StdStream::Output, {}};
  EXPECT_EQ(std_write(writer, ""), 0u);
  EXPECT_TRUE(w().calls.empty());
}

TEST_F(StdStreamTest, BytesGoOutUnchangedInOneWrite) {
  const auto streams = w().use_byte_streams();
  StdWriter writer{StdStream::Output, {}};
  const std::string text = "第一行\r\n\xFF raw\n";
  EXPECT_EQ(std_write(writer, text), text.size());
  EXPECT_EQ(streams.output->writes, std::vector<std::string>{text});
  EXPECT_EQ(w().count_calls("WriteConsoleW"), 0u);
}

struct ByteWriteCase {
  const char* name;
  fake::ByteStream::WriteAnswer answer;
  std::optional<std::size_t> written;  // bytes reported, or
  std::int32_t code;                   // the error's code
};

class ByteWrite : public SeamTest, public ::testing::WithParamInterface<ByteWriteCase> {};

TEST_P(ByteWrite, ReportsTheStatusBlockOrTheTranslatedStatus) {
  const auto streams = w().use_byte_streams();
  streams.output->write_answers.push_back(GetParam().answer);
  StdWriter writer{StdStream::Output, {}};
  const auto result = std_write(writer, "hello");
  if (GetParam().written) {
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, *GetParam().written);
  } else {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().os_code(), GetParam().code);
  }
  EXPECT_EQ(w().count_calls("WaitForSingleObject"), GetParam().answer.pending ? 1u : 0u);
}

using Answer = fake::ByteStream::WriteAnswer;
INSTANTIATE_TEST_SUITE_P(
    Cases, ByteWrite,
    ::testing::Values(ByteWriteCase{"All", Answer{}, 5, 0}, ByteWriteCase{"Part", Answer{win::STATUS_SUCCESS, 2}, 2, 0},
                      ByteWriteCase{"Nothing", Answer{win::STATUS_SUCCESS, 0}, 0, 0},
                      ByteWriteCase{"PendingThenDone", Answer{win::STATUS_SUCCESS, 3, true}, 3, 0},
                      ByteWriteCase{"PendingThenBrokenPipe", Answer{win::STATUS_PIPE_BROKEN, {}, true}, {}, 109},
                      ByteWriteCase{"DiskFull", Answer{win::STATUS_DISK_FULL}, {}, 112},
                      ByteWriteCase{"UnknownStatus", Answer{static_cast<win::NTSTATUS>(0xC0001234)}, {}, 317}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(StdStreamTest, WriteStillPendingAfterTheWaitEndsTheProcess) {
  const auto streams = w().use_byte_streams();
  streams.output->write_answers.push_back(Answer{win::STATUS_SUCCESS, {}, true, true});
  StdWriter writer{StdStream::Output, {}};
  EXPECT_EQ(fail_fast_code([&] { (void)std_write(writer, "hello"); }), 7u);
  EXPECT_EQ(streams.error->written,
            "fatal runtime error: I/O error: operation failed to complete synchronously, aborting\n");
  EXPECT_TRUE(w().exits.empty());
}

TEST_F(StdStreamTest, ClosedHandleIsAMissingStream) {
  w().std_output = static_cast<win::HANDLE>(0x4444);  // never opened
  StdWriter writer{StdStream::Output, {}};
  const auto result = std_write(writer, "hello");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().os_code(), 6);
  EXPECT_TRUE(is_missing_stream(result.error()));
  EXPECT_TRUE(std_write_all(writer, "hello").has_value());
}

TEST_F(StdStreamTest, Utf8ConsoleTakesTheBytesUnchanged) {
  const auto console = w().use_console(win::CP_UTF8).console;
  StdWriter writer{StdStream::Output, {}};
  EXPECT_EQ(std_write(writer, "你好\n"), 7u);
  EXPECT_EQ(console->byte_writes, std::vector<std::string>{"你好\n"});
  EXPECT_EQ(w().count_calls("WriteConsoleW"), 0u);
  EXPECT_EQ(w().count_calls("MultiByteToWideChar"), 0u);
}

TEST_F(StdStreamTest, OtherConsolesGetUtf16) {
  const auto console = w().use_console(936).console;
  StdWriter writer{StdStream::Output, {}};
  EXPECT_EQ(std_write(writer, "你好\n"), 7u);
  EXPECT_EQ(console->writes, std::vector<std::u16string>{u"你好\n"});
  EXPECT_TRUE(console->byte_writes.empty());
}

TEST_F(StdStreamTest, WriteAllLoopsOverPartialWrites) {
  const auto streams = w().use_byte_streams();
  streams.output->write_answers = {Answer{win::STATUS_SUCCESS, 2}, Answer{win::STATUS_SUCCESS, 1}};
  StdWriter writer{StdStream::Output, {}};
  EXPECT_TRUE(std_write_all(writer, "hello").has_value());
  EXPECT_EQ(streams.output->writes, (std::vector<std::string>{"hello", "llo", "lo"}));
  EXPECT_EQ(streams.output->written, "hello");
}

TEST_F(StdStreamTest, WriteAllFailsWhenTheStreamTakesNothing) {
  const auto streams = w().use_byte_streams();
  streams.output->write_answers = {Answer{win::STATUS_SUCCESS, 2}, Answer{win::STATUS_SUCCESS, 0}};
  StdWriter writer{StdStream::Output, {}};
  const auto result = std_write_all(writer, "hello");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), errors::write_zero);
  EXPECT_EQ(result.error().display_text(), "failed to write whole buffer");
}

struct WriteAllMissingCase {
  const char* name;
  win::HANDLE handle;
  win::DWORD last_error;
  bool succeeds;
};

class WriteAllMissing : public SeamTest, public ::testing::WithParamInterface<WriteAllMissingCase> {};

TEST_P(WriteAllMissing, SucceedsSilentlyOnlyForCode6) {
  w().std_output = GetParam().handle;
  w().std_handle_error = GetParam().last_error;
  StdWriter writer{StdStream::Output, {}};
  const auto result = std_write_all(writer, "dropped");
  EXPECT_EQ(result.has_value(), GetParam().succeeds);
  if (!GetParam().succeeds) {
    EXPECT_EQ(result.error().os_code(), static_cast<std::int32_t>(GetParam().last_error));
  }
  EXPECT_EQ(w().count_calls("NtWriteFile"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteAllMissing,
                         ::testing::Values(WriteAllMissingCase{"Null", win::NULL_HANDLE, 0, true},
                                           WriteAllMissingCase{"InvalidWith6", win::INVALID_HANDLE_VALUE, 6, true},
                                           WriteAllMissingCase{"InvalidWith5", win::INVALID_HANDLE_VALUE, 5, false}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace vant
