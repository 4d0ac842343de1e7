// "Query the size, then fill", written once for every Windows function that
// writes UTF-16 text into a caller's buffer (GetTempPathW, GetFullPathNameW,
// GetModuleFileNameW, GetSystemDirectoryW, GetEnvironmentVariableW, ...).
//
// Such a function is called as f(size in units, buffer) and answers with a
// count k: k < size is the text's length (written with a terminating zero),
// k > size is the size it needs, and 0 is a failure unless the last error is
// 0 (an empty answer). The loop tries a 512-unit buffer on the stack first,
// so a usual answer needs no heap memory at all.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// The buffer of one loop: 512 units inside the object (so on the caller's
// stack), and a heap buffer made only when a call asks for more.
class UnitBuffer {
 public:
  static constexpr std::size_t kStackUnits = 512;

  UnitBuffer() = default;
  UnitBuffer(const UnitBuffer&) = delete;
  UnitBuffer& operator=(const UnitBuffer&) = delete;

  std::span<char16_t> stack_units() { return stack_; }

  // The heap buffer, grown (contents dropped) so that it holds at least
  // `needed` units; all of its capacity is offered to the next call.
  std::span<char16_t> heap_units(std::size_t needed);

  // Tests only: windows_text_test shows with it that a short answer makes
  // no heap buffer and a long one makes one of just the size asked for.
  std::size_t heap_capacity() const { return heap_capacity_; }

 private:
  std::array<char16_t, kStackUnits> stack_;
  std::unique_ptr<char16_t[]> heap_;
  std::size_t heap_capacity_ = 0;
};

// Capacity after growing a buffer of `capacity` units so that it holds
// `needed`: at least double, at least `needed`, at least 4.
// Example: (0, 700) -> 700; (700, 701) -> 1400; (700, 5000) -> 5000.
std::size_t grown_capacity(std::size_t capacity, std::size_t needed);

// A borrowed reference to the caller's platform call (size, buffer) -> count;
// valid only while the call it was made for runs.
class FillCall {
 public:
  template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FillCall> &&
             std::is_invocable_r_v<win::DWORD, F&, win::DWORD, char16_t*>)
  FillCall(F&& fill)  // NOLINT: implicit, so that a lambda can be passed directly
      : target_(const_cast<void*>(static_cast<const void*>(std::addressof(fill)))),
        call_([](void* target, win::DWORD size, char16_t* buffer) -> win::DWORD {
          return std::invoke(*static_cast<std::remove_reference_t<F>*>(target), size, buffer);
        }) {}

  win::DWORD operator()(win::DWORD size, char16_t* buffer) const { return call_(target_, size, buffer); }

 private:
  void* target_;
  win::DWORD (*call_)(void*, win::DWORD, char16_t*);
};

// Runs the loop with `buffer`; the answer is a view into it. Ends the process
// if the function claims to have filled the buffer exactly without saying
// it was too small, which a correct function never does.
std::expected<std::span<const char16_t>, SystemError> fill_units(UnitBuffer& buffer, FillCall fill);

// Runs the loop and hands the answer to `convert` while the buffer is alive.
template <typename Convert>
auto fill_text_buffer(FillCall fill, Convert&& convert)
    -> std::expected<std::invoke_result_t<Convert&, std::span<const char16_t>>, SystemError> {
  UnitBuffer buffer;
  const auto units = fill_units(buffer, fill);
  if (!units) return std::unexpected(units.error());
  return std::invoke(convert, *units);
}

}  // namespace vant
