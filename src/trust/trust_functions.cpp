#include "trust/trust_functions.h"

#include "platform/system_library.h"

namespace vant {

std::expected<TrustFunctions, SystemError> TrustFunctions::load() {
  // Both libraries first, then every function: a missing library is named
  // as such rather than as the first function not found. Neither is ever
  // freed: the process ends seconds after the check, and keeping them
  // loaded until then costs nothing.
  const auto wintrust = load_system_library(u"wintrust.dll");
  if (!wintrust) return std::unexpected(wintrust.error());
  const auto crypt32 = load_system_library(u"crypt32.dll");
  if (!crypt32) return std::unexpected(crypt32.error());

  TrustFunctions functions;
  struct Function {
    win::HMODULE library;
    const char* name;
    win::FARPROC TrustFunctions::*slot;
  };
  const Function table[] = {
      {*wintrust, "WinVerifyTrust", &TrustFunctions::verify_trust_},
      {*wintrust, "WTHelperProvDataFromStateData", &TrustFunctions::provider_data_},
      {*wintrust, "WTHelperGetProvSignerFromChain", &TrustFunctions::provider_signer_},
      {*crypt32, "CertVerifyCertificateChainPolicy", &TrustFunctions::chain_policy_},
      {*crypt32, "CertGetEnhancedKeyUsage", &TrustFunctions::key_usage_},
      {*crypt32, "CertVerifyTimeValidity", &TrustFunctions::time_validity_},
      {*crypt32, "CertGetNameStringW", &TrustFunctions::name_string_},
  };
  for (const Function& function : table) {
    const auto found = find_function(function.library, function.name);
    if (!found) return std::unexpected(found.error());
    functions.*function.slot = *found;
  }
  return functions;
}

}  // namespace vant
