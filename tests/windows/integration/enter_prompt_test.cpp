// The Enter prompt after a failure (here: no curl anywhere) ends at the
// first line of input or at end of input, whatever standard input is, and
// the exit code is 1 either way. A hang would run into the launch timeout.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "expected_output.h"
#include "setup_run.h"

namespace vant_test {
namespace {

enum class Input { EmptyFile, Nul, None, ClosedPipe, LineInFile, LineInOpenPipe, CrLfInOpenPipe, NotUtf8InOpenPipe };

struct PromptCase {
  const char* name;
  Input input;
};

class EnterPrompt : public SetupRun, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(EnterPrompt, EndsAndExitsOne) {
  remove_curl_beside_program();
  switch (GetParam().input) {
    case Input::EmptyFile: std_in_ = StdStream::file(write_file(L"in.txt", "")); break;
    case Input::Nul: std_in_ = StdStream::nul(); break;
    case Input::None: std_in_ = StdStream::none(); break;
    case Input::ClosedPipe: std_in_ = StdStream::pipe("", false); break;
    case Input::LineInFile: std_in_ = StdStream::file(write_file(L"in.txt", "\nmore input\n")); break;
    // The writer stays open until the bootstrapper ends: only the line
    // itself can end the wait.
    case Input::LineInOpenPipe: std_in_ = StdStream::pipe("anything\n", true); break;
    case Input::CrLfInOpenPipe: std_in_ = StdStream::pipe("\r\n", true); break;
    // A line that is not UTF-8 is an error for the reader, not a reason to
    // read on.
    case Input::NotUtf8InOpenPipe: std_in_ = StdStream::pipe("\xFF\xFE\xC0\n", true); break;
  }
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.err, expected::cannot_run_tool("program not found"));
  EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
  EXPECT_TRUE(result.curl.empty());
}

INSTANTIATE_TEST_SUITE_P(Inputs, EnterPrompt,
                         ::testing::Values(PromptCase{"EmptyFile", Input::EmptyFile}, PromptCase{"Nul", Input::Nul},
                                           PromptCase{"NoHandle", Input::None},
                                           PromptCase{"PipeWithWriterClosed", Input::ClosedPipe},
                                           PromptCase{"LineInFile", Input::LineInFile},
                                           PromptCase{"LineInOpenPipe", Input::LineInOpenPipe},
                                           PromptCase{"CrLfInOpenPipe", Input::CrLfInOpenPipe},
                                           PromptCase{"NotUtf8InOpenPipe", Input::NotUtf8InOpenPipe}),
                         CaseName());

// A file of this many zero bytes, made sparse: it costs no disk.
std::wstring sparse_file(const std::wstring& path, LONGLONG size) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  LARGE_INTEGER end;
  end.QuadPart = size;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)) << GetLastError();
  CloseHandle(file);
  return path;
}

using FloodAtThePrompt = SetupRun;

// Standard input that never sends a line feed: 1 GiB of zero bytes. The
// prompt reads through all of it, keeping none, and still exits with 1. A
// reader that kept the line would need a gigabyte, which a 32-bit process
// cannot even allocate; this one stays at its one buffer.
TEST_F(FloodAtThePrompt, GigabyteWithoutALineFeedEndsWithExitCode1InBoundedMemory) {
  remove_curl_beside_program();
  std_in_ = StdStream::file(sparse_file(scratch_ + L"flood.bin", LONGLONG{1} << 30));
  sample_memory_ = true;
  timeout_ms_ = 100000;
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.err, expected::cannot_run_tool("program not found"));
  EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
  ASSERT_GT(result.launch.memory_samples, 0);
  EXPECT_LT(result.launch.most_private_bytes, std::uint64_t{16} << 20);
  EXPECT_LT(result.launch.peak_private_bytes, std::uint64_t{16} << 20);
  std::printf("flood: %.0f ms, %d samples, most %llu, peak %llu private bytes\n", result.launch.elapsed_ms,
              result.launch.memory_samples, static_cast<unsigned long long>(result.launch.most_private_bytes),
              static_cast<unsigned long long>(result.launch.peak_private_bytes));
}

}  // namespace
}  // namespace vant_test
