#include "console/output.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fake_windows.h"
#include "platform/clock.h"
#include "support/process_end.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::exit_code;
using testing::fail_fast_code;
using testing::SeamTest;
using Answer = fake::ByteStream::WriteAnswer;
using Writes = std::vector<std::string>;

class OutputTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    streams_ = w().use_byte_streams();
  }

  fake::FakeWindows::StdStreams streams_;
};

TEST_F(OutputTest, DriverMessageIsOneWrite) {
  print_stdout("按 Enter 键退出...\n");
  EXPECT_EQ(streams_.output->writes, Writes{"按 Enter 键退出...\n"});
  // Nothing waits: the exit writes nothing more.
  EXPECT_EQ(exit_code([] { exit_process(1); }), 1u);
  EXPECT_EQ(streams_.output->writes.size(), 1u);
}

TEST_F(OutputTest, PiecesOfOneMessageLeaveAsOneLine) {
  print_stdout({"  ", "VANT 进销存", " 安装程序\n"});
  EXPECT_EQ(streams_.output->writes, Writes{"  VANT 进销存 安装程序\n"});
}

TEST_F(OutputTest, TextAfterTheLastLineFeedWaitsUntilTheExit) {
  print_stdout("ab");
  EXPECT_TRUE(streams_.output->writes.empty());
  print_stdout("c\nd");
  EXPECT_EQ(streams_.output->writes, Writes{"abc\n"});
  EXPECT_EQ(exit_code([] { exit_process(0); }), 0u);
  EXPECT_EQ(streams_.output->writes, (Writes{"abc\n", "d"}));
  // The flush came before the end of the process.
  EXPECT_EQ(w().calls.back(), "ExitProcess(0)");
}

TEST_F(OutputTest, ErrorsAreNotBufferedAndEachPieceIsWrittenOnItsOwn) {
  print_stderr({"无法运行下载工具：", "program not found", "\n"});
  print_stderr("no line end");
  EXPECT_EQ(streams_.error->writes, (Writes{"无法运行下载工具：", "program not found", "\n", "no line end"}));
}

TEST_F(OutputTest, StreamsAreIndependent) {
  print_stdout("waiting ");
  print_stderr("error\n");
  EXPECT_TRUE(streams_.output->writes.empty());
  EXPECT_EQ(streams_.error->written, "error\n");
}

TEST_F(OutputTest, AFileGetsTheBytesExactlyAsPrinted) {
  print_stdout("第一行\n");
  print_stdout("second\r\nthird");
  EXPECT_EQ(exit_code([] { exit_process(0); }), 0u);
  EXPECT_EQ(streams_.output->written, "第一行\nsecond\r\nthird");
}

TEST_F(OutputTest, MissingOutputSwallowsEverything) {
  w().std_output = win::NULL_HANDLE;
  print_stdout("banner\n");
  print_stdout("waiting");
  EXPECT_EQ(exit_code([] { exit_process(0); }), 0u);
  EXPECT_EQ(w().count_calls("NtWriteFile"), 0u);
}

TEST_F(OutputTest, ReplacedHandleTakesEffectAtTheNextWrite) {
  print_stdout("one\n");
  const auto other = std::make_shared<fake::ByteStream>();
  w().std_output = w().add_stream(other);
  print_stdout("two\n");
  EXPECT_EQ(streams_.output->written, "one\n");
  EXPECT_EQ(other->written, "two\n");
}

struct FatalCase {
  const char* name;
  bool on_stdout;
  Answer answer;
  std::string report;
};

class FatalPrint : public OutputTest, public ::testing::WithParamInterface<FatalCase> {};

// A print that fails ends the process at once: a report on the error stream,
// fail-fast code 7, no exit code, no flush of the output buffer.
TEST_P(FatalPrint, ReportsAndFailsFast) {
  auto& stream = GetParam().on_stdout ? streams_.output : streams_.error;
  print_stdout("waiting");
  stream->write_answers.push_back(GetParam().answer);
  const auto code = fail_fast_code([&] {
    if (GetParam().on_stdout) {
      print_stdout("line\n");
    } else {
      print_stderr("line\n");
    }
  });
  EXPECT_EQ(code, 7u);
  const std::string& errors = streams_.error->written;
  ASSERT_GE(errors.size(), GetParam().report.size());
  EXPECT_EQ(errors.substr(errors.size() - GetParam().report.size()), GetParam().report);
  EXPECT_TRUE(w().exits.empty());
  // The failed write was the last one: the waiting text is not flushed.
  EXPECT_EQ(streams_.output->writes.size(), GetParam().on_stdout ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FatalPrint,
    ::testing::Values(FatalCase{"StdoutBrokenPipe", true, Answer{win::STATUS_PIPE_BROKEN},
                                "failed printing to stdout: The pipe has been ended. (os error 109)\n"},
                      // The waiting text and the line leave together, as a flush.
                      FatalCase{"StdoutTakesNothing", true, Answer{win::STATUS_SUCCESS, 0},
                                "failed printing to stdout: failed to write the buffered data\n"},
                      FatalCase{"StdoutDiskFull", true, Answer{win::STATUS_DISK_FULL},
                                "failed printing to stdout: There is not enough space on the disk. (os error 112)\n"},
                      FatalCase{"StderrBrokenPipe", false, Answer{win::STATUS_PIPE_BROKEN},
                                "failed printing to stderr: The pipe has been ended. (os error 109)\n"},
                      FatalCase{
                          "StillPending", true, Answer{win::STATUS_SUCCESS, {}, true, true},
                          "fatal runtime error: I/O error: operation failed to complete synchronously, aborting\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(OutputTest, ReportOfAFailedPrintIsExact) {
  streams_.output->write_answers.push_back(Answer{win::STATUS_PIPE_BROKEN});
  EXPECT_EQ(fail_fast_code([] { print_stdout("x\n"); }), 7u);
  EXPECT_EQ(streams_.error->written, "failed printing to stdout: The pipe has been ended. (os error 109)\n");
}

TEST_F(OutputTest, LineThatTheStreamRefusesIsAFailedWholeWrite) {
  streams_.output->write_answers.push_back(Answer{win::STATUS_SUCCESS, 0});
  EXPECT_EQ(fail_fast_code([] { print_stdout("x\n"); }), 7u);
  EXPECT_EQ(streams_.error->written, "failed printing to stdout: failed to write whole buffer\n");
}

// A failure while the report itself is written ends the process without a
// second report (and without looping).
TEST_F(OutputTest, FailureWhileReportingDoesNotReportAgain) {
  streams_.error->write_answers = {Answer{win::STATUS_SUCCESS, {}, true, true},
                                   Answer{win::STATUS_SUCCESS, {}, true, true}};
  EXPECT_EQ(fail_fast_code([] { print_stderr("x\n"); }), 7u);
  EXPECT_EQ(streams_.error->writes,
            (Writes{"x\n", "fatal runtime error: I/O error: operation failed to complete synchronously, aborting"}));
}

TEST_F(OutputTest, ExitFlushOfANeverMadeStreamLeavesItUnbuffered) {
  flush_stdout_at_exit();
  EXPECT_TRUE(w().calls.empty());
  print_stdout("ab");
  EXPECT_EQ(streams_.output->writes, Writes{"ab"});
}

TEST_F(OutputTest, AfterTheExitFlushOutputIsUnbuffered) {
  print_stdout("ab");
  flush_stdout_at_exit();
  print_stdout("cd");
  print_stdout("e\nf");
  EXPECT_EQ(streams_.output->writes, (Writes{"ab", "cd", "e\n", "f"}));
}

TEST_F(OutputTest, ExitFlushIgnoresAFailedWrite) {
  print_stdout("ab");
  streams_.output->write_answers.push_back(Answer{win::STATUS_PIPE_BROKEN});
  EXPECT_EQ(exit_code([] { exit_process(0); }), 0u);
  EXPECT_EQ(streams_.error->written, "");
}

TEST_F(OutputTest, ExitFlushDoesNotWaitForAnotherThreadsPrint) {
  print_stdout("ab");
  // Another thread holds the output lock inside its print, blocked in
  // GetStdHandle until released.
  std::atomic<bool> inside{false};
  std::atomic<bool> release{false};
  w().on_GetStdHandle = [&](win::DWORD which) {
    inside = true;
    while (!release) std::this_thread::yield();
    return which == win::STD_OUTPUT_HANDLE ? w().std_output : w().std_error;
  };
  std::thread printer([] { print_stdout("c\n"); });
  while (!inside) std::this_thread::yield();
  flush_stdout_at_exit();
  EXPECT_TRUE(streams_.output->writes.empty()) << "the exit flush must not write under another print";
  release = true;
  printer.join();
  EXPECT_EQ(streams_.output->writes, Writes{"abc\n"});
}

}  // namespace
}  // namespace vant
