#include "trust/trust_functions.h"

#include <cstddef>
#include <iterator>

#include "platform/system_library.h"

namespace vant {
namespace {

// The functions' names, in the order of TrustFunctions::Index; the first
// kWintrustFunctions are wintrust's, the rest crypt32's.
constexpr const char* kNames[] = {
    "WinVerifyTrust",
    "WTHelperProvDataFromStateData",
    "WTHelperGetProvSignerFromChain",
    "CertVerifyCertificateChainPolicy",
    "CertGetEnhancedKeyUsage",
    "CertVerifyTimeValidity",
    "CertGetNameStringW",
    "CryptHashCertificate2",
    "CertGetCertificateChain",
    "CertFreeCertificateChain",
};
constexpr std::size_t kWintrustFunctions = 3;

}  // namespace

std::expected<TrustFunctions, SystemError> TrustFunctions::load() {
  static_assert(std::size(kNames) == kCount);
  // Both libraries first, then every function: a missing library is named
  // as such rather than as the first function not found. Neither is ever
  // freed: the process ends seconds after the check, and keeping them
  // loaded until then costs nothing.
  const auto wintrust = load_system_library(u"wintrust.dll");
  if (!wintrust) return std::unexpected(wintrust.error());
  const auto crypt32 = load_system_library(u"crypt32.dll");
  if (!crypt32) return std::unexpected(crypt32.error());

  TrustFunctions functions;
  for (std::size_t i = 0; i < kCount; ++i) {
    const auto found = find_function(i < kWintrustFunctions ? *wintrust : *crypt32, kNames[i]);
    if (!found) return std::unexpected(found.error());
    functions.functions_[i] = *found;
  }
  return functions;
}

win::LONG failed_call_code() {
  const win::DWORD error = win::GetLastError();
  return error != 0 ? static_cast<win::LONG>(error) : win::TRUST_E_SUBJECT_NOT_TRUSTED;
}

}  // namespace vant
