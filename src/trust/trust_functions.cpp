#include "trust/trust_functions.h"

#include <cstddef>
#include <iterator>

#include "platform/system_library.h"

namespace vant {
namespace {

// The functions' names one after another, each ending in its NUL, in the
// order of TrustFunctions::Index; the first kWintrustFunctions are
// wintrust's, the rest crypt32's. One text rather than a table of pointers:
// the names are needed anyway, pointers to them would only add bytes.
constexpr char kNames[] =
    "WinVerifyTrust\0"
    "WTHelperProvDataFromStateData\0"
    "WTHelperGetProvSignerFromChain\0"
    "CertVerifyCertificateChainPolicy\0"
    "CertGetEnhancedKeyUsage\0"
    "CertVerifyTimeValidity\0"
    "CertGetNameStringW";
constexpr std::size_t kWintrustFunctions = 3;

// Where each name starts in kNames, found when compiling (a name too many
// would not compile, one too few is caught in load()).
struct NameStarts {
  unsigned char at[7] = {};
};
constexpr NameStarts find_name_starts() {
  NameStarts starts;
  std::size_t name = 0;
  for (std::size_t i = 0; i + 1 < sizeof kNames; ++i) {
    if (kNames[i] == '\0') starts.at[++name] = static_cast<unsigned char>(i + 1);
  }
  return starts;
}
constexpr NameStarts kNameStarts = find_name_starts();

}  // namespace

std::expected<TrustFunctions, SystemError> TrustFunctions::load() {
  static_assert(std::size(kNameStarts.at) == kCount && kNameStarts.at[kCount - 1] != 0 && sizeof kNames < 256);
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
    const auto found = find_function(i < kWintrustFunctions ? *wintrust : *crypt32, kNames + kNameStarts.at[i]);
    if (!found) return std::unexpected(found.error());
    functions.functions_[i] = *found;
  }
  return functions;
}

}  // namespace vant
