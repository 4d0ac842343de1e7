#include "platform/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/process_end.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::fail_fast_code;
using testing::SeamTest;

class ClockTest : public SeamTest {};

TEST_F(ClockTest, PauseIsOneWaitOnAHighResolutionTimer) {
  const std::int64_t start = w().now_ns;
  sleep_for(Duration{2, 0});
  ASSERT_EQ(w().timer_creates.size(), 1u);
  EXPECT_EQ(w().timer_creates[0].flags, 2u);
  EXPECT_EQ(w().timer_creates[0].access, 0x1F0003u);
  EXPECT_TRUE(w().timer_creates[0].attributes_null);
  EXPECT_TRUE(w().timer_creates[0].name_null);
  ASSERT_EQ(w().timer_sets.size(), 1u);
  EXPECT_EQ(w().timer_sets[0].due, -20'000'000);
  EXPECT_EQ(w().timer_sets[0].period, 0);
  EXPECT_TRUE(w().timer_sets[0].routine_null);
  EXPECT_EQ(w().timer_sets[0].resume, 0);
  EXPECT_EQ(w().count_calls("WaitForSingleObject"), 1u);
  EXPECT_TRUE(w().sleeps.empty());
  EXPECT_EQ(w().open_handle_count(), 0u) << "the timer is closed";
  EXPECT_EQ(w().now_ns - start, 2'000'000'000);
}

TEST_F(ClockTest, DueTimeNeverEndsThePauseEarly) {
  sleep_for(Duration{0, 150});
  ASSERT_EQ(w().timer_sets.size(), 1u);
  EXPECT_EQ(w().timer_sets[0].due, -2) << "150 ns is two 100 ns units, not one";
}

struct TimerFailureCase {
  const char* name;
  bool create_fails;
  std::optional<win::DWORD> set_error;
  std::optional<win::DWORD> wait_error;
};

class TimerFailure : public SeamTest, public ::testing::WithParamInterface<TimerFailureCase> {};

TEST_P(TimerFailure, FallsBackToSleepSilently) {
  w().timer_create_fails = GetParam().create_fails;
  w().timer_set_error = GetParam().set_error;
  w().timer_wait_error = GetParam().wait_error;
  sleep_for(Duration{2, 0});
  EXPECT_EQ(w().sleeps, std::vector<win::DWORD>{2000});
  // The timer is closed, and before the fallback starts.
  EXPECT_EQ(w().open_handle_count(), 0u);
  const auto& calls = w().calls;
  const auto sleep = std::find(calls.begin(), calls.end(), "Sleep(2000)");
  EXPECT_EQ(std::find(sleep, calls.end(), "CloseHandle"), calls.end());
}

INSTANTIATE_TEST_SUITE_P(Cases, TimerFailure,
                         ::testing::Values(TimerFailureCase{"CreateFails", true, {}, {}},
                                           TimerFailureCase{"SetFails", false, 5, {}},
                                           TimerFailureCase{"WaitFails", false, {}, 6}),
                         [](const auto& test) { return std::string(test.param.name); });

struct FallbackCase {
  const char* name;
  std::int64_t slept_ns;  // how far the clock moves during Sleep(2000)
  std::vector<win::DWORD> sleeps;
};

class Fallback : public SeamTest, public ::testing::WithParamInterface<FallbackCase> {};

// One extra millisecond when the sleep measured short, never a loop.
TEST_P(Fallback, AddsOneMillisecondOnlyWhenTheSleepWasShort) {
  w().timer_create_fails = true;
  const std::int64_t slept = GetParam().slept_ns;
  w().sleep_advance_ns = [slept](win::DWORD ms) { return ms == 2000 ? slept : std::int64_t{ms} * 1'000'000; };
  sleep_for(Duration{2, 0});
  EXPECT_EQ(w().sleeps, GetParam().sleeps);
  EXPECT_EQ(w().count_calls("QueryPerformanceCounter"), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cases, Fallback,
                         ::testing::Values(FallbackCase{"Short", 1'995'000'000, {2000, 1}},
                                           FallbackCase{"OneNanosecondShort", 1'999'999'900, {2000, 1}},
                                           FallbackCase{"Exact", 2'000'000'000, {2000}},
                                           FallbackCase{"Long", 2'500'000'000, {2000}},
                                           FallbackCase{"ClockWentBackwards", -5'000'000, {2000, 1}},
                                           FallbackCase{"ClockStood", 0, {2000, 1}}),
                         [](const auto& test) { return std::string(test.param.name); });

struct ClockCase {
  const char* name;
  std::int64_t counter;
  std::int64_t frequency;
  std::uint64_t seconds;
  std::uint32_t nanoseconds;
};

class Clock : public SeamTest, public ::testing::WithParamInterface<ClockCase> {};

// Exact for every counter value and frequency: nothing overflows.
TEST_P(Clock, ConvertsTheCounterWithoutOverflow) {
  const std::int64_t counter = GetParam().counter;
  w().qpc_frequency = GetParam().frequency;
  w().on_QueryPerformanceCounter = [counter](std::int64_t* value) {
    *value = counter;
    return true;
  };
  const Duration now = monotonic_now();
  EXPECT_EQ(now.seconds, GetParam().seconds);
  EXPECT_EQ(now.nanoseconds, GetParam().nanoseconds);
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
INSTANTIATE_TEST_SUITE_P(
    Cases, Clock,
    ::testing::Values(ClockCase{"Ordinary", 25'000'001, 10'000'000, 2, 500'000'100},
                      ClockCase{"Zero", 0, 10'000'000, 0, 0},
                      ClockCase{"LargestCounter", kMax, 10'000'000, 922'337'203'685, 477'580'700},
                      ClockCase{"LargestCounterOneTickPerSecond", kMax, 1, 9'223'372'036'854'775'807u, 0},
                      ClockCase{"OddFrequency", kMax, 3, 3'074'457'345'618'258'602u, 333'333'333},
                      ClockCase{"OddLargeFrequency", kMax, 2'999'999'929, 3'074'457'418, 380'417'504},
                      // The remainder times 10^9 needs more than 64 bits.
                      ClockCase{"FrequencyAbove2To64Over10To9", 100'000'000'006, 100'000'000'007, 0, 999'999'999},
                      // Read as unsigned 64-bit.
                      ClockCase{"NegativeCounter", -1, 10'000'000, 1'844'674'407'370, 955'161'500}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ClockTest, FrequencyIsReadOnce) {
  (void)monotonic_now();
  (void)monotonic_now();
  EXPECT_EQ(w().count_calls("QueryPerformanceFrequency"), 1u);
  EXPECT_EQ(w().count_calls("QueryPerformanceCounter"), 2u);
}

TEST_F(ClockTest, ClockAdvancesWithTheSystemsClock) {
  const Duration before = monotonic_now();
  w().now_ns += 1'234'567'800;
  const Duration after = monotonic_now();
  EXPECT_EQ((after.seconds - before.seconds) * 1'000'000'000 + after.nanoseconds - before.nanoseconds, 1'234'567'800u);
}

struct CounterFailureCase {
  const char* name;
  bool frequency_fails;
  win::DWORD code;
  std::string report;
};

class CounterFailure : public SeamTest, public ::testing::WithParamInterface<CounterFailureCase> {};

TEST_P(CounterFailure, IsAnInternalFailureDuringTheFallback) {
  const auto streams = w().use_byte_streams();
  w().timer_create_fails = true;
  (GetParam().frequency_fails ? w().qpf_error : w().qpc_error) = GetParam().code;
  EXPECT_EQ(fail_fast_code([] { sleep_for(Duration{2, 0}); }), 7u);
  EXPECT_EQ(streams.error->written, GetParam().report);
  EXPECT_TRUE(w().sleeps.empty());
  EXPECT_TRUE(w().exits.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CounterFailure,
    ::testing::Values(
        CounterFailureCase{"Frequency", true, 5,
                           "called `Result::unwrap()` on an `Err` value: Os { code: 5, kind: PermissionDenied, "
                           "message: \"Access is denied.\" }\n"},
        CounterFailureCase{"Counter", false, 6,
                           "called `Result::unwrap()` on an `Err` value: Os { code: 6, kind: Uncategorized, "
                           "message: \"The handle is invalid.\" }\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ClockTest, ZeroFrequencyIsADivisionByZero) {
  const auto streams = w().use_byte_streams();
  w().qpc_frequency = 0;
  EXPECT_EQ(fail_fast_code([] { (void)monotonic_now(); }), 7u);
  EXPECT_EQ(streams.error->written, "attempt to divide by zero\n");
}

}  // namespace
}  // namespace vant
