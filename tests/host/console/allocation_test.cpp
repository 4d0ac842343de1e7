// The console allocates its buffers once: no heap allocation per print or
// per line skipped after the first. This program's operator new counts the
// allocations made by the program's own code inside a window; the fake's
// records and call log are left out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "console/output.h"
#include "console/stdin_line.h"
#include "fake_windows.h"
#include "support/seam_test.h"

namespace {

thread_local bool t_counting = false;
thread_local long t_allocations = 0;

void* allocate(std::size_t size) {
  if (t_counting && fake::seam_depth() == 0) ++t_allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

// Counts the program's allocations while it lives.
class AllocationWindow {
 public:
  AllocationWindow() {
    t_allocations = 0;
    t_counting = true;
  }
  ~AllocationWindow() { t_counting = false; }
  AllocationWindow(const AllocationWindow&) = delete;
  AllocationWindow& operator=(const AllocationWindow&) = delete;

  long count() const { return t_allocations; }
};

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace vant {
namespace {

using testing::SeamTest;

class AllocationTest : public SeamTest {};

TEST_F(AllocationTest, CountsTheProgramsAllocations) {
  long count = 0;
  {
    AllocationWindow window;
    std::string text(100, 'x');  // more than fits in the string itself
    count = window.count();
  }
  EXPECT_EQ(count, 1);
}

// Every kind of print: buffered, line, pieces, overflow straight through,
// a tail after a line, both streams.
TEST_F(AllocationTest, PrintsToAPipeAllocateNothingAfterTheFirst) {
  w().use_byte_streams();
  {
    AllocationWindow first;
    print_stdout("first\n");
    print_stderr("first\n");
    EXPECT_EQ(first.count(), 1) << "the output buffer, once";
  }
  const std::string long_text(1500, 'b');
  AllocationWindow window;
  for (int i = 0; i < 3; ++i) {
    print_stdout("buffered ");
    print_stdout({"line ", "of pieces", "\n"});
    print_stdout(std::string_view(long_text));
    print_stdout("中文\n尾");
    print_stderr({"错误：", "program not found", "\n"});
  }
  EXPECT_EQ(window.count(), 0);
}

TEST_F(AllocationTest, PrintsToAConsoleAllocateNothingAfterTheFirst) {
  w().use_console(936);
  print_stdout("first\n");
  std::string long_text;
  for (int i = 0; i < 2000; ++i) long_text += "进";
  long_text += "\n";
  AllocationWindow window;
  for (int i = 0; i < 3; ++i) {
    print_stdout("buffered ");
    print_stdout(std::string_view(long_text));
    print_stderr("\xE4\xBD");  // carried across prints
    print_stderr("\xA0\n");
  }
  EXPECT_EQ(window.count(), 0);
}

TEST_F(AllocationTest, LineSkipsAllocateNothingAfterTheFirst) {
  const auto in = w().use_byte_streams().input;
  for (int i = 0; i < 10; ++i) in->readable += "line " + std::to_string(i) + "\n";
  {
    AllocationWindow first;
    ASSERT_TRUE(skip_stdin_line().has_value());
    EXPECT_EQ(first.count(), 1) << "the input buffer, once";
  }
  AllocationWindow window;
  for (int i = 1; i < 10; ++i) ASSERT_TRUE(skip_stdin_line().has_value());
  EXPECT_EQ(window.count(), 0);
}

TEST_F(AllocationTest, ConsoleLineSkipsAllocateNothingAfterTheFirst) {
  const auto console = w().use_console(936).console;
  for (int i = 0; i < 10; ++i) console->reads.push_back(fake::Console::Read{u"输入 😀\r\n"});
  ASSERT_TRUE(skip_stdin_line().has_value());
  AllocationWindow window;
  for (int i = 1; i < 10; ++i) ASSERT_TRUE(skip_stdin_line().has_value());
  EXPECT_EQ(window.count(), 0);
}

// The Enter prompt skips its line: a flood of many megabytes without a line
// feed costs the input's one buffer and nothing more.
TEST_F(AllocationTest, SkippingAFloodAllocatesOnlyTheInputBuffer) {
  const auto in = w().use_byte_streams().input;
  in->flood = std::uint64_t{64} << 20;
  in->readable = "end without a line feed";
  std::expected<std::size_t, SystemError> skipped = 0;
  {
    AllocationWindow window;
    skipped = skip_stdin_line();
    EXPECT_EQ(window.count(), 1) << "the input buffer, once";
  }
  EXPECT_EQ(skipped, (std::size_t{64} << 20) + 23);
  EXPECT_EQ(in->flood, 0u);
}

}  // namespace
}  // namespace vant
