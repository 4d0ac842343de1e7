// Asking curl its version: what is read from the first line of `curl -V`,
// and how the question is asked (a pipe, no input, no error stream, at
// most 30 s).
#include "setup/curl_version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

struct FirstLine {
  const char* name;
  std::string output;
  CurlVersion version;
};

class CurlVersionParsing : public ::testing::TestWithParam<FirstLine> {};

TEST_P(CurlVersionParsing, ReadsTheVersionOrCountsAsTheOldest) {
  const CurlVersion version = parse_curl_version(GetParam().output);
  EXPECT_EQ(version.major, GetParam().version.major);
  EXPECT_EQ(version.minor, GetParam().version.minor);
  EXPECT_EQ(version.patch, GetParam().version.patch);
}

const CurlVersion kOldest = kOldestCurl;

INSTANTIATE_TEST_SUITE_P(
    Lines, CurlVersionParsing,
    ::testing::Values(
        FirstLine{
            "Windows1803", "curl 7.55.1 (Windows) libcurl/7.55.1 WinSSL\r\nRelease-Date: [unreleased]\r\n", {7, 55, 1}},
        FirstLine{"Windows7791", "curl 7.79.1 (Windows) libcurl/7.79.1 Schannel\r\n", {7, 79, 1}},
        FirstLine{"Curl8", "curl 8.13.0 (x86_64-pc-win32) libcurl/8.13.0 Schannel zlib/1.3.1\n", {8, 13, 0}},
        FirstLine{"DevelopmentBuild", "curl 8.14.0-DEV (Windows) libcurl/8.14.0-DEV\n", {8, 14, 0}},
        FirstLine{"JustTheVersion", "curl 7.71.0", {7, 71, 0}},
        FirstLine{"OlderThanAnyWindowsCurl", "curl 7.40.0 (i386-pc-win32)\n", {7, 40, 0}},
        FirstLine{"LargeNumbers", "curl 10.1234.99 (x)\n", {10, 1234, 99}}, FirstLine{"Empty", "", kOldest},
        FirstLine{"Garbage",
                  "\x7f"
                  "ELF\x02\x01\x01 binary",
                  kOldest},
        FirstLine{"OtherProgram", "wget 1.21.4 built on linux-gnu.\n", kOldest},
        FirstLine{"CapitalName", "Curl 8.13.0 (Windows)\n", kOldest},
        FirstLine{"LeadingSpace", " curl 8.13.0 (Windows)\n", kOldest},
        FirstLine{"TwoParts", "curl 8.13 (Windows)\n", kOldest}, FirstLine{"FourParts", "curl 8.13.0.1\n", kOldest},
        FirstLine{"FiveDigits", "curl 8.13.00000\n", kOldest}, FirstLine{"NoDigits", "curl a.b.c\n", kOldest},
        FirstLine{"EndsAfterADot", "curl 8.13.", kOldest}, FirstLine{"NegativePart", "curl 8.-1.0\n", kOldest},
        FirstLine{"VersionOnTheSecondLine", "curl: (2) option -V: is unknown\ncurl 8.13.0\n", kOldest}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(CurlVersionOrder, ComparesPartByPart) {
  EXPECT_LT((CurlVersion{7, 55, 1}), (CurlVersion{7, 70, 0}));
  EXPECT_LT((CurlVersion{7, 69, 99}), (CurlVersion{7, 70, 0}));
  EXPECT_LT((CurlVersion{7, 71, 0}), (CurlVersion{8, 0, 1}));
  EXPECT_EQ((CurlVersion{7, 70, 0}), (CurlVersion{7, 70, 0}));
}

constexpr char16_t kCurl[] = u"C:\\Windows\\system32\\curl.exe";

class CurlVersionProbe : public testing::SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    streams_ = w().use_byte_streams();
    w().add_file(kCurl);
  }
  std::expected<CurlVersion, SystemError> probe() {
    ProcessCommand command("curl");
    command.arg("-V");
    return probe_curl_version(command);
  }
  fake::FakeWindows::StdStreams streams_;
};

TEST_F(CurlVersionProbe, AsksThroughAPipeWithNoInputAndNoErrorStream) {
  bool output_is_a_pipe = false;
  w().program_runs[kCurl].push_back(fake::Program{.output = "curl 8.13.0 (Windows) libcurl/8.13.0 Schannel\r\n",
                                                  .on_start = [&](const fake::CreateProcessCall& call) {
                                                    const auto output = fake::world().object_of(call.std_output);
                                                    output_is_a_pipe = output && output->stream && output->stream->pipe;
                                                  }});
  const std::size_t open_before = w().open_handles().size();
  const auto version = probe();
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(*version, (CurlVersion{8, 13, 0}));

  ASSERT_EQ(w().created.size(), 1u);
  const fake::CreateProcessCall& call = w().created[0];
  EXPECT_EQ(call.command_line, u"\"curl\" -V");
  EXPECT_EQ(call.startup_flags, win::STARTF_USESTDHANDLES);
  EXPECT_EQ(call.std_input, win::NULL_HANDLE);
  EXPECT_EQ(call.std_error, win::NULL_HANDLE);
  // Its output is an inheritable duplicate of the pipe's write end, the
  // only handle it inherits; nothing reaches the user's streams.
  EXPECT_TRUE(output_is_a_pipe);
  EXPECT_THAT(call.inheritable_handles, ::testing::ElementsAre(call.std_output));
  EXPECT_EQ(streams_.output->written, "");
  EXPECT_EQ(streams_.error->written, "");
  // No handle is left open, the pipe's ends included.
  EXPECT_EQ(w().open_handles().size(), open_before);
  EXPECT_TRUE(w().inheritable_handles().empty());
  EXPECT_TRUE(w().terminations.empty());
}

TEST_F(CurlVersionProbe, OnlyTheFirstBytesAreRead) {
  w().programs[kCurl] = fake::Program{.version_answer = "curl 7.83.1 (Windows)\n" + std::string(10'000, 'x')};
  EXPECT_EQ(probe().value(), (CurlVersion{7, 83, 1}));
  EXPECT_EQ(w().count_calls("ReadFile(128)"), 1u);
}

TEST_F(CurlVersionProbe, ACurlThatWritesNothingIsTheOldest) {
  EXPECT_EQ(probe().value(), kOldestCurl);
  EXPECT_EQ(w().count_calls("ReadFile"), 0u);
}

// A curl that hangs is ended after 30 s and counts as unknown; one that
// answers just in time is read.
TEST_F(CurlVersionProbe, IsBoundedAtThirtySeconds) {
  const std::int64_t start = w().now_ns;
  w().program_runs[kCurl].push_back(fake::Program{.output = "curl 8.13.0\n", .runs_ms = fake::kRunsForever});
  EXPECT_EQ(probe().value(), kOldestCurl);
  EXPECT_EQ(w().now_ns - start, 30'000'000'000);
  ASSERT_EQ(w().terminations.size(), 1u);
  EXPECT_EQ(w().terminations[0].first, kCurl);
  EXPECT_EQ(w().count_calls("ReadFile"), 0u);

  w().program_runs[kCurl].push_back(fake::Program{.output = "curl 8.13.0\n", .runs_ms = 30'000});
  EXPECT_EQ(probe().value(), (CurlVersion{8, 13, 0}));
  EXPECT_EQ(w().terminations.size(), 1u);
}

TEST_F(CurlVersionProbe, AStartThatFailsIsTheStartsError) {
  w().programs[kCurl] = fake::Program{.start_error = win::ERROR_ACCESS_DENIED};
  const auto version = probe();
  ASSERT_FALSE(version.has_value());
  EXPECT_EQ(version.error(), SystemError::from_code(win::ERROR_ACCESS_DENIED));
  EXPECT_TRUE(w().inheritable_handles().empty());

  w().remove_path(kCurl);
  EXPECT_EQ(probe().error(), errors::program_not_found);
}

TEST_F(CurlVersionProbe, NoPipeOrAFailedWaitIsTheOldest) {
  w().programs[kCurl] = fake::Program{.version_answer = "curl 8.13.0\n"};
  w().pipe_error = win::ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_EQ(probe().value(), kOldestCurl);
  EXPECT_TRUE(w().created.empty());

  w().pipe_error.reset();
  w().program_runs[kCurl].push_back(fake::Program{.output = "curl 8.13.0\n", .wait_error = win::ERROR_ACCESS_DENIED});
  EXPECT_EQ(probe().value(), kOldestCurl);
}

}  // namespace
}  // namespace vant
