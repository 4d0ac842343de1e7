#include "platform/random.h"

#include "platform/system_library.h"
#include "platform/win_api.h"

namespace vant {

std::expected<void, SystemError> fill_random(std::span<std::uint8_t> bytes) {
  const auto bcrypt = load_system_library(u"bcrypt.dll");
  if (!bcrypt) return std::unexpected(bcrypt.error());
  const auto generate = find_function(*bcrypt, "BCryptGenRandom");
  if (!generate) return std::unexpected(generate.error());
  const win::NTSTATUS status = win::InvokeBCryptGenRandom(
      *generate, nullptr, bytes.data(), static_cast<win::ULONG>(bytes.size()), win::BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status != win::STATUS_SUCCESS) {
    return std::unexpected(SystemError::from_code(static_cast<std::int32_t>(win::RtlNtStatusToDosError(status))));
  }
  return {};
}

}  // namespace vant
