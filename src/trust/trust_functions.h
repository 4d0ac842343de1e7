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
    return win::InvokeWinVerifyTrust(verify_trust_, hwnd, action, data);
  }
  win::CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(win::HANDLE state) const {
    return win::InvokeWTHelperProvDataFromStateData(provider_data_, state);
  }
  win::CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(win::CRYPT_PROVIDER_DATA* provider, win::DWORD signer,
                                                           win::BOOL counter_signer,
                                                           win::DWORD counter_signer_index) const {
    return win::InvokeWTHelperGetProvSignerFromChain(provider_signer_, provider, signer, counter_signer,
                                                     counter_signer_index);
  }
  win::BOOL CertVerifyCertificateChainPolicy(win::CHAIN_POLICY policy, const win::CERT_CHAIN_CONTEXT* chain,
                                             win::CERT_CHAIN_POLICY_PARA* para,
                                             win::CERT_CHAIN_POLICY_STATUS* status) const {
    return win::InvokeCertVerifyCertificateChainPolicy(chain_policy_, policy, chain, para, status);
  }
  win::BOOL CertGetEnhancedKeyUsage(const win::CERT_CONTEXT* certificate, win::DWORD flags,
                                    win::CERT_ENHKEY_USAGE* usage, win::DWORD* size) const {
    return win::InvokeCertGetEnhancedKeyUsage(key_usage_, certificate, flags, usage, size);
  }
  win::LONG CertVerifyTimeValidity(const win::FILETIME* time, win::CERT_INFO* certificate) const {
    return win::InvokeCertVerifyTimeValidity(time_validity_, time, certificate);
  }
  win::DWORD CertGetNameStringW(const win::CERT_CONTEXT* certificate, win::DWORD type, win::DWORD flags,
                                void* type_para, char16_t* name, win::DWORD size) const {
    return win::InvokeCertGetNameStringW(name_string_, certificate, type, flags, type_para, name, size);
  }

 private:
  TrustFunctions() = default;

  win::FARPROC verify_trust_ = win::NULL_PROC;
  win::FARPROC provider_data_ = win::NULL_PROC;
  win::FARPROC provider_signer_ = win::NULL_PROC;
  win::FARPROC chain_policy_ = win::NULL_PROC;
  win::FARPROC key_usage_ = win::NULL_PROC;
  win::FARPROC time_validity_ = win::NULL_PROC;
  win::FARPROC name_string_ = win::NULL_PROC;
};

}  // namespace vant
