// A stand-in for a library that someone planted beside a program under the
// name of a system library: wintrust.dll, crypt32.dll or version.dll (built
// once for each, with VANT_PLANTED_WINTRUST, _CRYPT32 or _VERSION). It
// exports what a program would import from the real one, so a program that
// imports that library loads it, and when loaded it leaves a marker beside
// itself, "<its own path>.loaded", holding the path of the program that
// loaded it (UTF-16). Its functions refuse everything.
//
// Only kernel32 is used, and no C run-time (it is linked without one): with
// a native override in force, Wine looks for the imports of its own
// libraries beside the program too, and would load planted copies of them.
#include <windows.h>

namespace {

// Stays below one page of stack: without a run-time there is no stack probe.
constexpr DWORD kPathUnits = 512;

void leave_marker(HINSTANCE self) {
  wchar_t marker[kPathUnits + 8];
  const DWORD length = GetModuleFileNameW(self, marker, kPathUnits);
  if (length == 0 || length >= kPathUnits) return;
  const wchar_t suffix[] = L".loaded";
  for (DWORD i = 0; i < sizeof suffix / sizeof suffix[0]; ++i) marker[length + i] = suffix[i];
  const HANDLE file =
      CreateFileW(marker, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  wchar_t program[kPathUnits];
  const DWORD program_length = GetModuleFileNameW(nullptr, program, kPathUnits);
  DWORD written = 0;
  WriteFile(file, program, program_length * sizeof(wchar_t), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) leave_marker(self);
  return TRUE;
}

// The exports, with the real functions' arguments (their number matters for
// 32-bit stdcall) but plain types: the SDK's own declarations would import
// them.
#define PLANTED extern "C" __declspec(dllexport)

#if defined(VANT_PLANTED_WINTRUST)
PLANTED LONG WINAPI WinVerifyTrust(void*, void*, void*) { return static_cast<LONG>(0x800B0100); }
PLANTED void* WINAPI WTHelperProvDataFromStateData(void*) { return nullptr; }
PLANTED void* WINAPI WTHelperGetProvSignerFromChain(void*, DWORD, BOOL, DWORD) { return nullptr; }
#elif defined(VANT_PLANTED_CRYPT32)
PLANTED BOOL WINAPI CertVerifyCertificateChainPolicy(void*, void*, void*, void*) { return FALSE; }
PLANTED BOOL WINAPI CertGetEnhancedKeyUsage(void*, DWORD, void*, DWORD*) { return FALSE; }
PLANTED LONG WINAPI CertVerifyTimeValidity(void*, void*) { return 1; }
PLANTED DWORD WINAPI CertGetNameStringW(void*, DWORD, DWORD, void*, wchar_t* name, DWORD size) {
  if (name != nullptr && size != 0) name[0] = 0;
  return 1;
}
#elif defined(VANT_PLANTED_VERSION)
PLANTED DWORD WINAPI GetFileVersionInfoSizeW(const wchar_t*, DWORD*) { return 0; }
PLANTED BOOL WINAPI GetFileVersionInfoW(const wchar_t*, DWORD, DWORD, void*) { return FALSE; }
PLANTED BOOL WINAPI VerQueryValueW(const void*, const wchar_t*, void**, UINT*) { return FALSE; }
#else
#error "say which library this stands in for"
#endif
