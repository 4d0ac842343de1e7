#include "trust/trust_functions.h"

#include <iterator>

#include "platform/system_library.h"

namespace vant {
namespace {

constexpr const char16_t* kLibraries[] = {u"wintrust.dll", u"crypt32.dll"};

// Each function: the library it is in (an index into kLibraries) and its
// name, in the order of TrustFunctions::Index.
struct Function {
  unsigned char library;
  const char* name;
};
constexpr Function kFunctions[] = {
    {0, "WinVerifyTrust"},
    {0, "WTHelperProvDataFromStateData"},
    {0, "WTHelperGetProvSignerFromChain"},
    {1, "CertVerifyCertificateChainPolicy"},
    {1, "CertGetEnhancedKeyUsage"},
    {1, "CertVerifyTimeValidity"},
    {1, "CertGetNameStringW"},
};

}  // namespace

std::expected<TrustFunctions, SystemError> TrustFunctions::load() {
  static_assert(std::size(kFunctions) == kCount);
  // Both libraries first, then every function: a missing library is named
  // as such rather than as the first function not found. Neither is ever
  // freed: the process ends seconds after the check, and keeping them
  // loaded until then costs nothing.
  win::HMODULE libraries[std::size(kLibraries)];
  for (std::size_t i = 0; i < std::size(kLibraries); ++i) {
    const auto library = load_system_library(kLibraries[i]);
    if (!library) return std::unexpected(library.error());
    libraries[i] = *library;
  }
  TrustFunctions functions;
  for (std::size_t i = 0; i < kCount; ++i) {
    const auto found = find_function(libraries[kFunctions[i].library], kFunctions[i].name);
    if (!found) return std::unexpected(found.error());
    functions.functions_[i] = *found;
  }
  return functions;
}

}  // namespace vant
