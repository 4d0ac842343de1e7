#include "platform/windows_text.h"

#include <algorithm>
#include <cstdint>

#include "platform/fail_fast.h"

namespace vant {
namespace {

// The most a DWORD size can say.
constexpr std::size_t kMaxUnits = 0xFFFFFFFFu;

win::DWORD as_size(std::size_t units) { return static_cast<win::DWORD>(std::min(units, kMaxUnits)); }

}  // namespace

std::size_t grown_capacity(std::size_t capacity, std::size_t needed) {
  return std::max({capacity * 2, needed, std::size_t{4}});
}

std::span<char16_t> UnitBuffer::heap_units(std::size_t needed) {
  if (heap_capacity_ < needed) {
    const std::size_t capacity = grown_capacity(heap_capacity_, needed);
    // Nothing is kept across calls, so the old contents need no copy.
    heap_.reset();
    heap_ = std::make_unique_for_overwrite<char16_t[]>(capacity);
    heap_capacity_ = capacity;
  }
  return {heap_.get(), heap_capacity_};
}

std::expected<std::span<const char16_t>, SystemError> fill_units(UnitBuffer& buffer, FillCall fill) {
  std::size_t n = UnitBuffer::kStackUnits;
  for (;;) {
    std::span<char16_t> units = buffer.stack_units();
    if (n > UnitBuffer::kStackUnits) {
      units = buffer.heap_units(n);
      n = units.size();
    }
    const win::DWORD size = as_size(n);

    win::SetLastError(0);
    const win::DWORD k = fill(size, units.data());
    // Read at once: only a zero or a full answer needs it.
    const win::DWORD error = (k == 0 || k == size) ? win::GetLastError() : 0;

    if (k == 0 && error != 0) return std::unexpected(SystemError::from_code(static_cast<std::int32_t>(error)));
    if (k == size) {
      if (error != win::ERROR_INSUFFICIENT_BUFFER) internal_failure("internal error: entered unreachable code");
      n = as_size(std::size_t{size} * 2);
      continue;
    }
    if (k > size) {
      n = k;
      continue;
    }
    return std::span<const char16_t>(units.data(), k);
  }
}

}  // namespace vant
