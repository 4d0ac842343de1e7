// Adds the signer tests' throwaway root certificates to the LocalMachine
// Root store, or removes them again:
//
//   vant_trust_test_root add|remove ROOT.der...
//
// Only under Wine: CTest runs it in the build tree's own Wine prefix, and
// it refuses to touch the store of a real Windows (where a test root would
// let anyone with the thrown-away key sign code the machine trusts).
// Wine keeps the store in the prefix's registry; its
// CertDeleteCertificateFromStore reports success but leaves the
// certificate, so removal also deletes the registry key Wine keeps it under.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool running_under_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<BYTE> read_file(const wchar_t* path) {
  std::vector<BYTE> bytes;
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  BYTE buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  CloseHandle(file);
  return bytes;
}

int fail(const char* step) {
  std::fprintf(stderr, "%s failed: error 0x%08lX\n", step, GetLastError());
  return 1;
}

HCERTSTORE open_root_store() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
}

int add(const std::vector<BYTE>& der) {
  const HCERTSTORE store = open_root_store();
  if (store == nullptr) return fail("CertOpenStore");
  const BOOL added = CertAddEncodedCertificateToStore(
      store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD error = GetLastError();
  CertCloseStore(store, 0);
  if (!added) {
    SetLastError(error);
    return fail("CertAddEncodedCertificateToStore");
  }
  std::puts("a test root added to the LocalMachine Root store");
  return 0;
}

int remove(const std::vector<BYTE>& der) {
  const PCCERT_CONTEXT certificate =
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  if (certificate == nullptr) return fail("CertCreateCertificateContext");
  BYTE hash[20];
  DWORD hash_size = sizeof hash;
  const BOOL hashed = CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &hash_size);
  if (!hashed) return fail("CertGetCertificateContextProperty");

  if (const HCERTSTORE store = open_root_store()) {
    if (const PCCERT_CONTEXT found =
            CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate, nullptr)) {
      CertDeleteCertificateFromStore(found);  // frees `found`
    }
    CertCloseStore(store, 0);
  }
  CertFreeCertificateContext(certificate);

  wchar_t key[128] = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
  std::size_t length = wcslen(key);
  for (DWORD i = 0; i < hash_size; ++i) {
    swprintf(key + length, 3, L"%02X", hash[i]);
    length += 2;
  }
  const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    SetLastError(static_cast<DWORD>(status));
    return fail("RegDeleteKeyW");
  }
  std::puts("a test root removed from the LocalMachine Root store");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || (std::wstring(argv[1]) != L"add" && std::wstring(argv[1]) != L"remove")) {
    std::fputs("usage: vant_trust_test_root add|remove ROOT.der...\n", stderr);
    return 2;
  }
  if (!running_under_wine()) {
    std::fputs("refused: this helper changes a machine's trusted roots and runs only in a Wine test prefix\n", stderr);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const std::vector<BYTE> der = read_file(argv[i]);
    if (der.empty()) return fail("reading the certificate");
    if (const int status = std::wstring(argv[1]) == L"add" ? add(der) : remove(der); status != 0) return status;
  }
  return 0;
}
