#include "platform/windows_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;

// One scripted answer of the filled function: its count and the last error
// it leaves. A count below the offered size writes that many units of 'x'.
struct Answer {
  win::DWORD count;
  win::DWORD error = 0;
};

// A stand-in for a Windows fill function: records each call's size and
// buffer and plays the answers in order.
class ScriptedFill {
 public:
  ScriptedFill(std::initializer_list<Answer> answers) : answers_(answers.begin(), answers.end()) {}

  win::DWORD operator()(win::DWORD size, char16_t* buffer) {
    sizes.push_back(size);
    buffers.push_back(buffer);
    last_error_on_entry.push_back(win::GetLastError());
    if (answers_.empty()) throw std::logic_error("more calls than scripted answers");
    const Answer answer = answers_.front();
    answers_.pop_front();
    if (answer.count < size) {
      for (win::DWORD i = 0; i < answer.count; ++i) buffer[i] = u'x';
      buffer[answer.count] = 0;
    }
    if (answer.error != 0) win::SetLastError(answer.error);
    return answer.count;
  }

  std::vector<win::DWORD> sizes;
  std::vector<const char16_t*> buffers;
  std::vector<win::DWORD> last_error_on_entry;

 private:
  std::deque<Answer> answers_;
};

std::expected<std::u16string, SystemError> run(ScriptedFill& fill) {
  return fill_text_buffer(fill,
                          [](std::span<const char16_t> units) { return std::u16string(units.begin(), units.end()); });
}

class FillTextBufferTest : public SeamTest {};

TEST_F(FillTextBufferTest, ShortAnswerUsesOnlyTheStackBuffer) {
  ScriptedFill fill{{511}};
  const auto text = run(fill);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, std::u16string(511, u'x'));
  ASSERT_EQ(fill.sizes, std::vector<win::DWORD>{512});
  // Each call starts with the last error cleared, so a zero answer can be read.
  EXPECT_EQ(fill.last_error_on_entry, std::vector<win::DWORD>{0});
}

TEST_F(FillTextBufferTest, StackBufferBelongsToTheLoopAndHeapIsMadeOnlyOnDemand) {
  UnitBuffer buffer;
  const auto stack = buffer.stack_units();
  const auto* object = reinterpret_cast<const char*>(&buffer);
  const auto* data = reinterpret_cast<const char*>(stack.data());
  EXPECT_EQ(stack.size(), 512u);
  EXPECT_TRUE(data >= object && data + stack.size_bytes() <= object + sizeof(buffer));
  EXPECT_EQ(buffer.heap_capacity(), 0u);

  ScriptedFill fill{{5}};
  ASSERT_TRUE(fill_units(buffer, fill).has_value());
  EXPECT_EQ(fill.buffers.front(), stack.data());
  EXPECT_EQ(buffer.heap_capacity(), 0u);
}

TEST_F(FillTextBufferTest, AnswerOf700GrowsOnceToAHeapBufferOf700) {
  UnitBuffer buffer;
  ScriptedFill fill{{700}, {699}};
  const auto units = fill_units(buffer, fill);
  ASSERT_TRUE(units.has_value());
  EXPECT_EQ(units->size(), 699u);
  EXPECT_EQ(fill.sizes, (std::vector<win::DWORD>{512, 700}));
  EXPECT_EQ(buffer.heap_capacity(), 700u);
  EXPECT_NE(fill.buffers[1], fill.buffers[0]);
  EXPECT_EQ(units->data(), fill.buffers[1]);
}

TEST_F(FillTextBufferTest, FullBufferWithInsufficientBufferDoubles) {
  ScriptedFill fill{{512, win::ERROR_INSUFFICIENT_BUFFER}, {1024, win::ERROR_INSUFFICIENT_BUFFER}, {2049}, {2049}};
  const auto text = run(fill);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->size(), 2049u);
  // 512 (stack), 1024, 2048, then the asked-for 2049 grows to 4096 (double).
  EXPECT_EQ(fill.sizes, (std::vector<win::DWORD>{512, 1024, 2048, 4096}));
}

TEST_F(FillTextBufferTest, FullBufferWithoutInsufficientBufferEndsTheProcess) {
  for (const win::DWORD error : {win::DWORD{0}, win::DWORD{5}}) {
    testing::reset_process();
    std::shared_ptr<fake::ByteStream> err = w().use_byte_streams().error;
    ScriptedFill fill{{512, error}};
    try {
      (void)run(fill);
      ADD_FAILURE() << "returned for last error " << error;
    } catch (const fake::FailedFast& failed) {
      EXPECT_EQ(failed.code, 7u);
    }
    EXPECT_NE(err->written.find("internal error: entered unreachable code"), std::string::npos) << err->written;
  }
}

TEST_F(FillTextBufferTest, ZeroWithLastErrorZeroIsAnEmptyAnswer) {
  ScriptedFill fill{{0, 0}};
  const auto text = run(fill);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, u"");
}

TEST_F(FillTextBufferTest, ZeroWithLastErrorIsThatError) {
  ScriptedFill fill{{0, win::ERROR_ENVVAR_NOT_FOUND}};
  EXPECT_EQ(run(fill), std::unexpected(SystemError::from_code(203)));
  // Also after the buffer has grown.
  ScriptedFill later{{900}, {0, 1234}};
  EXPECT_EQ(run(later), std::unexpected(SystemError::from_code(1234)));
  EXPECT_EQ(later.sizes, (std::vector<win::DWORD>{512, 900}));
}

TEST_F(FillTextBufferTest, GrowthIsAtLeastDoubleAtLeastTheNeedAndAtLeastFour) {
  struct Case {
    std::size_t capacity, needed, grown;
  };
  const Case cases[] = {{0, 1, 4},        {0, 3, 4},         {0, 4, 4},         {0, 700, 700},     {1, 2, 4},
                        {700, 701, 1400}, {700, 1400, 1400}, {700, 1401, 1401}, {4096, 5000, 8192}};
  for (const Case& c : cases) {
    EXPECT_EQ(grown_capacity(c.capacity, c.needed), c.grown) << c.capacity << " for " << c.needed;
  }
  UnitBuffer buffer;
  EXPECT_EQ(buffer.heap_units(700).size(), 700u);
  EXPECT_EQ(buffer.heap_units(600).size(), 700u);  // big enough: kept
  EXPECT_EQ(buffer.heap_units(701).size(), 1400u);
}

TEST_F(FillTextBufferTest, OfferedSizeIsTheWholeHeapCapacity) {
  // 513 grows the heap to 513; a later 600 doubles it to 1026, all offered.
  ScriptedFill fill{{513}, {600}, {10}};
  ASSERT_TRUE(run(fill).has_value());
  EXPECT_EQ(fill.sizes, (std::vector<win::DWORD>{512, 513, 1026}));
}

}  // namespace
}  // namespace vant
