// The wintrust and crypt32 functions the signer check calls. The exe
// imports neither library: Windows would look for an imported library that
// is not one of its KnownDLLs in the program's folder first, usually
// Downloads, and run a planted copy there before the program's first line,
// with an administrator's rights after the UAC prompt. So both are loaded
// from the system folder only, when the check runs, and each function is
// found by name.
#pragma once

#include <expected>

#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

class TrustFunctions {
 public:
  // Loads wintrust.dll, then crypt32.dll, from the system folder and finds
  // the functions below in them. Errors: the first failed load's or
  // look-up's (ERROR_MOD_NOT_FOUND for a missing library,
  // ERROR_PROC_NOT_FOUND for a missing function); the file is then not
  // trusted.
  static std::expected<TrustFunctions, SystemError> load();

  // The functions, under their Windows names and with their arguments.
  win::LONG WinVerifyTrust(win::HWND hwnd, win::GUID* action, win::WINTRUST_DATA* data) const {
    return win::InvokeWinVerifyTrust(functions_[kWinVerifyTrust], hwnd, action, data);
  }
  win::CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(win::HANDLE state) const {
    return win::InvokeWTHelperProvDataFromStateData(functions_[kProvDataFromStateData], state);
  }
  win::CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(win::CRYPT_PROVIDER_DATA* provider, win::DWORD signer,
                                                           win::BOOL counter_signer,
                                                           win::DWORD counter_signer_index) const {
    return win::InvokeWTHelperGetProvSignerFromChain(functions_[kProvSignerFromChain], provider, signer, counter_signer,
                                                     counter_signer_index);
  }
  win::BOOL CertVerifyCertificateChainPolicy(win::CHAIN_POLICY policy, const win::CERT_CHAIN_CONTEXT* chain,
                                             win::CERT_CHAIN_POLICY_PARA* para,
                                             win::CERT_CHAIN_POLICY_STATUS* status) const {
    return win::InvokeCertVerifyCertificateChainPolicy(functions_[kChainPolicy], policy, chain, para, status);
  }
  win::BOOL CertGetEnhancedKeyUsage(const win::CERT_CONTEXT* certificate, win::DWORD flags,
                                    win::CERT_ENHKEY_USAGE* usage, win::DWORD* size) const {
    return win::InvokeCertGetEnhancedKeyUsage(functions_[kEnhancedKeyUsage], certificate, flags, usage, size);
  }
  win::LONG CertVerifyTimeValidity(const win::FILETIME* time, win::CERT_INFO* certificate) const {
    return win::InvokeCertVerifyTimeValidity(functions_[kTimeValidity], time, certificate);
  }
  win::DWORD CertGetNameStringW(const win::CERT_CONTEXT* certificate, win::DWORD type, win::DWORD flags,
                                void* type_para, char16_t* name, win::DWORD size) const {
    return win::InvokeCertGetNameStringW(functions_[kNameString], certificate, type, flags, type_para, name, size);
  }

 private:
  // The functions' places in functions_, in the order load() finds them.
  enum Index {
    kWinVerifyTrust,
    kProvDataFromStateData,
    kProvSignerFromChain,
    kChainPolicy,
    kEnhancedKeyUsage,
    kTimeValidity,
    kNameString,
    kCount
  };

  TrustFunctions() = default;

  // Each set by load() before it returns the object.
  win::FARPROC functions_[kCount];
};

}  // namespace vant
