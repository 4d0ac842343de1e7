#include "console/line_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/output.h"
#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;
using Answer = fake::ByteStream::WriteAnswer;

// Output to a file or pipe; `writes` shows what each NtWriteFile was offered.
class LineWriterTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    out_ = w().use_byte_streams().output;
  }

  LineWriter make(std::size_t capacity = LineWriter::kCapacity) {
    return LineWriter(StdWriter{StdStream::Output, {}}, capacity);
  }

  std::shared_ptr<fake::ByteStream> out_;
};

using Writes = std::vector<std::string>;

TEST_F(LineWriterTest, TextWithoutALineFeedWaits) {
  LineWriter writer = make();
  ASSERT_TRUE(writer.line_write_all("ab").has_value());
  EXPECT_TRUE(out_->writes.empty());
  EXPECT_EQ(writer.buffered(), "ab");
}

struct LinePolicyCase {
  const char* name;
  std::vector<std::string> pieces;
  Writes writes;
  std::string left;  // still buffered
};

class LinePolicy : public LineWriterTest, public ::testing::WithParamInterface<LinePolicyCase> {};

TEST_P(LinePolicy, WritesUpToTheLastLineFeedOfEachPiece) {
  LineWriter writer = make();
  for (const std::string& piece : GetParam().pieces) ASSERT_TRUE(writer.line_write_all(piece).has_value());
  EXPECT_EQ(out_->writes, GetParam().writes);
  EXPECT_EQ(writer.buffered(), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinePolicy,
                         ::testing::Values(
                             // Waiting bytes and the new line leave together.
                             LinePolicyCase{"LetterLineFeedLetter", {"ab", "c\nd"}, {"abc\n"}, "d"},
                             // Nothing waits: the lines go out as they are, without a copy.
                             LinePolicyCase{"LineFeedInTheMiddle", {"x\ny\nz"}, {"x\ny\n"}, "z"},
                             LinePolicyCase{"LineFeedsInTheMiddleAfterWaiting", {"ab", "c\nd\ne"}, {"abc\nd\n"}, "e"},
                             LinePolicyCase{"EndsWithLineFeed", {"line\n"}, {"line\n"}, ""},
                             LinePolicyCase{"OnlyALineFeed", {"ab", "\n"}, {"ab\n"}, ""},
                             LinePolicyCase{"EmptyPiece", {"ab", ""}, {}, "ab"}),
                         [](const auto& test) { return std::string(test.param.name); });

struct OverflowCase {
  const char* name;
  std::size_t piece;  // bytes without a line feed, after 10 waiting bytes
  Writes writes;      // with the piece's bytes written as "<piece>"
  std::size_t left;
};

class Overflow : public LineWriterTest, public ::testing::WithParamInterface<OverflowCase> {};

TEST_P(Overflow, FlushesWaitingBytesAndSendsBigPiecesPastTheBuffer) {
  LineWriter writer = make();
  ASSERT_TRUE(writer.line_write_all("0123456789").has_value());
  const std::string piece(GetParam().piece, 'x');
  ASSERT_TRUE(writer.line_write_all(piece).has_value());
  Writes expected;
  for (const std::string& write : GetParam().writes) expected.push_back(write == "<piece>" ? piece : write);
  EXPECT_EQ(out_->writes, expected);
  EXPECT_EQ(writer.buffered().size(), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(Cases, Overflow,
                         ::testing::Values(OverflowCase{"Fits", 1013, {}, 1023},
                                           OverflowCase{"FillsExactly", 1014, {}, 1024},
                                           OverflowCase{"FlushedFirst", 1015, {"0123456789"}, 1015},
                                           OverflowCase{"ExactlyTheCapacity", 1024, {"0123456789", "<piece>"}, 0},
                                           OverflowCase{"LongerThanTheCapacity", 5000, {"0123456789", "<piece>"}, 0}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(LineWriterTest, FlushWritesOnAfterAPartialWrite) {
  LineWriter writer = make();
  ASSERT_TRUE(writer.line_write_all("abcdef").has_value());
  out_->write_answers = {Answer{win::STATUS_SUCCESS, 2}, Answer{win::STATUS_SUCCESS, 3}};
  ASSERT_TRUE(writer.flush_buffer().has_value());
  EXPECT_EQ(out_->writes, (Writes{"abcdef", "cdef", "f"}));
  EXPECT_EQ(writer.buffered(), "");
}

struct FlushFailureCase {
  const char* name;
  std::vector<Answer> answers;
  const char* error;  // display text
  std::string left;
};

class FlushFailure : public LineWriterTest, public ::testing::WithParamInterface<FlushFailureCase> {};

// Bytes the stream took leave the buffer even when a later write fails, so
// nothing is written twice; the rest stays at the front of the buffer.
TEST_P(FlushFailure, KeepsOnlyWhatWasNotWritten) {
  LineWriter writer = make();
  ASSERT_TRUE(writer.line_write_all("abcdef").has_value());
  out_->write_answers.assign(GetParam().answers.begin(), GetParam().answers.end());
  const auto flushed = writer.flush_buffer();
  ASSERT_FALSE(flushed.has_value());
  EXPECT_EQ(flushed.error().display_text(), GetParam().error);
  EXPECT_EQ(writer.buffered(), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlushFailure,
    ::testing::Values(FlushFailureCase{"NothingTaken",
                                       {Answer{win::STATUS_SUCCESS, 0}},
                                       "failed to write the buffered data",
                                       "abcdef"},
                      FlushFailureCase{"PartThenNothing",
                                       {Answer{win::STATUS_SUCCESS, 2}, Answer{win::STATUS_SUCCESS, 0}},
                                       "failed to write the buffered data",
                                       "cdef"},
                      FlushFailureCase{"PartThenError",
                                       {Answer{win::STATUS_SUCCESS, 4}, Answer{win::STATUS_DISK_FULL}},
                                       "There is not enough space on the disk. (os error 112)",
                                       "ef"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(LineWriterTest, FlushToAMissingStreamEmptiesTheBuffer) {
  LineWriter writer = make();
  ASSERT_TRUE(writer.line_write_all("abcdef").has_value());
  out_->write_answers = {Answer{win::STATUS_SUCCESS, 2}, Answer{win::STATUS_INVALID_HANDLE}};
  ASSERT_TRUE(writer.flush_buffer().has_value());
  EXPECT_EQ(writer.buffered(), "");
  EXPECT_EQ(out_->writes.size(), 2u);
}

// A complete line left behind by a failed flush goes out before text that
// has no line end of its own joins it.
TEST_F(LineWriterTest, WaitingLineIsFlushedBeforeTextWithoutALineFeed) {
  LineWriter writer = make();
  ASSERT_TRUE(writer.line_write_all("ab").has_value());
  out_->write_answers = {Answer{win::STATUS_DISK_FULL}};
  ASSERT_FALSE(writer.line_write_all("c\nd").has_value());
  EXPECT_EQ(writer.buffered(), "abc\n") << "the tail is not taken after a failure";
  ASSERT_TRUE(writer.line_write_all("e").has_value());
  EXPECT_EQ(out_->writes, (Writes{"abc\n", "abc\n"}));
  EXPECT_EQ(writer.buffered(), "e");
}

TEST_F(LineWriterTest, WithoutCapacityEveryPieceGoesStraightOut) {
  LineWriter writer = make(0);
  ASSERT_TRUE(writer.line_write_all("ab").has_value());
  ASSERT_TRUE(writer.line_write_all("c\nd").has_value());
  ASSERT_TRUE(writer.line_write_all("").has_value());
  EXPECT_EQ(out_->writes, (Writes{"ab", "c\n", "d"}));
}

}  // namespace
}  // namespace vant
