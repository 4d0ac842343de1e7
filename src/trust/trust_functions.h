// The wintrust and crypt32 functions the signer check calls. The exe
// imports neither library (platform/library_search.h says why): both are
// loaded from the system folder when the check runs, and each function is
// found by name.
#pragma once

#include <cstdint>
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
  win::BOOL CryptHashCertificate2(const char16_t* algorithm, win::DWORD flags, void* reserved,
                                  const std::uint8_t* encoded, win::DWORD encoded_size, std::uint8_t* hash,
                                  win::DWORD* hash_size) const {
    return win::InvokeCryptHashCertificate2(functions_[kHashCertificate], algorithm, flags, reserved, encoded,
                                            encoded_size, hash, hash_size);
  }
  win::BOOL CertGetCertificateChain(win::HCERTCHAINENGINE engine, const win::CERT_CONTEXT* certificate,
                                    const win::FILETIME* time, win::HCERTSTORE additional_store,
                                    win::CERT_CHAIN_PARA* para, win::DWORD flags, void* reserved,
                                    const win::CERT_CHAIN_CONTEXT** chain) const {
    return win::InvokeCertGetCertificateChain(functions_[kGetChain], engine, certificate, time, additional_store, para,
                                              flags, reserved, chain);
  }
  void CertFreeCertificateChain(const win::CERT_CHAIN_CONTEXT* chain) const {
    win::InvokeCertFreeCertificateChain(functions_[kFreeChain], chain);
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
    kHashCertificate,
    kGetChain,
    kFreeChain,
    kCount
  };

  TrustFunctions() = default;

  // Each set by load() before it returns the object.
  win::FARPROC functions_[kCount];
};

// The code of a call of these functions that just failed: its last error,
// read at once. A failure that leaves no error must still refuse the file:
// TRUST_E_SUBJECT_NOT_TRUSTED then.
win::LONG failed_call_code();

}  // namespace vant
