// The real binding of the Windows seam: each function forwards to the
// Windows or ntdll function of the same name. This is the only file that
// includes <windows.h>; it converts types and nothing else.
#include "platform/win_api.h"

#include <cstddef>
#include <type_traits>

// Copies of our constants taken before <windows.h> turns their names into
// macros, so they can be checked against the SDK below.
namespace seam_check {
constexpr auto std_input = win::STD_INPUT_HANDLE;
constexpr auto std_output = win::STD_OUTPUT_HANDLE;
constexpr auto std_error = win::STD_ERROR_HANDLE;
constexpr auto status_pending = win::STATUS_PENDING;
constexpr auto status_end_of_file = win::STATUS_END_OF_FILE;
constexpr auto cp_acp = win::CP_ACP;
constexpr auto cp_utf8 = win::CP_UTF8;
constexpr auto mb_err = win::MB_ERR_INVALID_CHARS;
constexpr auto wc_err = win::WC_ERR_INVALID_CHARS;
constexpr auto wc_no_best_fit = win::WC_NO_BEST_FIT_CHARS;
constexpr auto error_directory = win::ERROR_DIRECTORY;
constexpr auto invalid_flags = win::ERROR_INVALID_FLAGS;
constexpr auto fm_system = win::FORMAT_MESSAGE_FROM_SYSTEM;
constexpr auto fm_module = win::FORMAT_MESSAGE_FROM_HMODULE;
constexpr auto fm_ignore = win::FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr auto search_system32 = win::LOAD_LIBRARY_SEARCH_SYSTEM32;
constexpr auto mod_not_found = win::ERROR_MOD_NOT_FOUND;
constexpr auto proc_not_found = win::ERROR_PROC_NOT_FOUND;
constexpr auto dup_same = win::DUPLICATE_SAME_ACCESS;
constexpr auto unicode_env = win::CREATE_UNICODE_ENVIRONMENT;
constexpr auto use_std = win::STARTF_USESTDHANDLES;
constexpr auto extended_startup = win::EXTENDED_STARTUPINFO_PRESENT;
constexpr auto handle_list = win::PROC_THREAD_ATTRIBUTE_HANDLE_LIST;
constexpr auto hires = win::CREATE_WAITABLE_TIMER_HIGH_RESOLUTION;
constexpr auto timer_all = win::TIMER_ALL_ACCESS;
constexpr auto invalid_attrs = win::INVALID_FILE_ATTRIBUTES;
constexpr auto normal_attrs = win::FILE_ATTRIBUTE_NORMAL;
constexpr auto generic_read = win::GENERIC_READ;
constexpr auto share_read = win::FILE_SHARE_READ;
constexpr auto share_write = win::FILE_SHARE_WRITE;
constexpr auto share_delete = win::FILE_SHARE_DELETE;
constexpr auto open_existing = win::OPEN_EXISTING;
constexpr auto sharing_violation = win::ERROR_SHARING_VIOLATION;
constexpr auto fast_fail_exit = win::FAST_FAIL_FATAL_APP_EXIT;
constexpr auto already_exists = win::ERROR_ALREADY_EXISTS;
constexpr auto token_query = win::TOKEN_QUERY;
constexpr auto sddl_revision = win::SDDL_REVISION_1;
constexpr auto preferred_rng = win::BCRYPT_USE_SYSTEM_PREFERRED_RNG;
constexpr auto token_elevation = win::TOKEN_INFORMATION_CLASS::TokenElevation;
using SecurityAttributes = win::SECURITY_ATTRIBUTES;
using TokenElevation = win::TOKEN_ELEVATION;
using StartupInfo = win::STARTUPINFOW;
using StartupInfoEx = win::STARTUPINFOEXW;
using ProcessInfo = win::PROCESS_INFORMATION;
using IoStatus = win::IO_STATUS_BLOCK;
using ReadControl = win::CONSOLE_READCONSOLE_CONTROL;
using SrwLock = win::SRWLOCK;
constexpr auto wait_timeout = win::WAIT_TIMEOUT;
constexpr auto no_proxy = win::WINHTTP_ACCESS_TYPE_NO_PROXY;
constexpr auto named_proxy = win::WINHTTP_ACCESS_TYPE_NAMED_PROXY;
constexpr auto auto_detect = win::WINHTTP_AUTOPROXY_AUTO_DETECT;
constexpr auto config_url = win::WINHTTP_AUTOPROXY_CONFIG_URL;
constexpr auto detect_dhcp = win::WINHTTP_AUTO_DETECT_TYPE_DHCP;
constexpr auto detect_dns = win::WINHTTP_AUTO_DETECT_TYPE_DNS_A;
using IeProxyConfig = win::WINHTTP_CURRENT_USER_IE_PROXY_CONFIG;
using AutoProxyOptions = win::WINHTTP_AUTOPROXY_OPTIONS;
using ProxyInfo = win::WINHTTP_PROXY_INFO;
}  // namespace seam_check

#include <windows.h>
#include <bcrypt.h>
#include <sddl.h>
#include <winhttp.h>
#include <winternl.h>

static_assert(seam_check::std_input == STD_INPUT_HANDLE);
static_assert(seam_check::std_output == STD_OUTPUT_HANDLE);
static_assert(seam_check::std_error == STD_ERROR_HANDLE);
static_assert(seam_check::status_pending == static_cast<NTSTATUS>(STATUS_PENDING));
static_assert(seam_check::cp_acp == CP_ACP);
static_assert(seam_check::cp_utf8 == CP_UTF8);
static_assert(seam_check::mb_err == MB_ERR_INVALID_CHARS);
static_assert(seam_check::wc_err == WC_ERR_INVALID_CHARS);
static_assert(seam_check::wc_no_best_fit == WC_NO_BEST_FIT_CHARS);
static_assert(seam_check::error_directory == ERROR_DIRECTORY);
static_assert(seam_check::invalid_flags == ERROR_INVALID_FLAGS);
static_assert(seam_check::fm_system == FORMAT_MESSAGE_FROM_SYSTEM);
static_assert(seam_check::fm_module == FORMAT_MESSAGE_FROM_HMODULE);
static_assert(seam_check::fm_ignore == FORMAT_MESSAGE_IGNORE_INSERTS);
static_assert(seam_check::search_system32 == LOAD_LIBRARY_SEARCH_SYSTEM32);
static_assert(seam_check::mod_not_found == ERROR_MOD_NOT_FOUND);
static_assert(seam_check::proc_not_found == ERROR_PROC_NOT_FOUND);
static_assert(seam_check::dup_same == DUPLICATE_SAME_ACCESS);
static_assert(seam_check::unicode_env == CREATE_UNICODE_ENVIRONMENT);
static_assert(seam_check::use_std == STARTF_USESTDHANDLES);
static_assert(seam_check::extended_startup == EXTENDED_STARTUPINFO_PRESENT);
static_assert(seam_check::handle_list == PROC_THREAD_ATTRIBUTE_HANDLE_LIST);
static_assert(seam_check::hires == 2);  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
static_assert(seam_check::timer_all == TIMER_ALL_ACCESS);
static_assert(seam_check::invalid_attrs == INVALID_FILE_ATTRIBUTES);
static_assert(seam_check::normal_attrs == FILE_ATTRIBUTE_NORMAL);
static_assert(seam_check::generic_read == GENERIC_READ);
static_assert(seam_check::share_read == FILE_SHARE_READ);
static_assert(seam_check::share_write == FILE_SHARE_WRITE);
static_assert(seam_check::share_delete == FILE_SHARE_DELETE);
static_assert(seam_check::open_existing == OPEN_EXISTING);
static_assert(seam_check::sharing_violation == ERROR_SHARING_VIOLATION);
static_assert(seam_check::fast_fail_exit == FAST_FAIL_FATAL_APP_EXIT);
static_assert(static_cast<DWORD>(seam_check::status_end_of_file) == 0xC0000011);
static_assert(seam_check::already_exists == ERROR_ALREADY_EXISTS);
static_assert(seam_check::token_query == TOKEN_QUERY);
static_assert(seam_check::sddl_revision == SDDL_REVISION_1);
static_assert(seam_check::preferred_rng == BCRYPT_USE_SYSTEM_PREFERRED_RNG);
static_assert(static_cast<int>(seam_check::token_elevation) == TokenElevation);

// The portable structures must match the SDK's byte for byte, because the
// binding passes them through by address.
#define SEAM_SAME_FIELD(ours, theirs, field)                                    \
  static_assert(offsetof(seam_check::ours, field) == offsetof(theirs, field) && \
                sizeof(seam_check::ours::field) == sizeof(theirs::field))
static_assert(sizeof(seam_check::StartupInfo) == sizeof(STARTUPINFOW));
SEAM_SAME_FIELD(StartupInfo, STARTUPINFOW, cb);
SEAM_SAME_FIELD(StartupInfo, STARTUPINFOW, dwFlags);
SEAM_SAME_FIELD(StartupInfo, STARTUPINFOW, wShowWindow);
SEAM_SAME_FIELD(StartupInfo, STARTUPINFOW, lpReserved2);
SEAM_SAME_FIELD(StartupInfo, STARTUPINFOW, hStdInput);
SEAM_SAME_FIELD(StartupInfo, STARTUPINFOW, hStdOutput);
SEAM_SAME_FIELD(StartupInfo, STARTUPINFOW, hStdError);
static_assert(sizeof(seam_check::StartupInfoEx) == sizeof(STARTUPINFOEXW));
SEAM_SAME_FIELD(StartupInfoEx, STARTUPINFOEXW, StartupInfo);
SEAM_SAME_FIELD(StartupInfoEx, STARTUPINFOEXW, lpAttributeList);
static_assert(sizeof(seam_check::ProcessInfo) == sizeof(PROCESS_INFORMATION));
SEAM_SAME_FIELD(ProcessInfo, PROCESS_INFORMATION, hProcess);
SEAM_SAME_FIELD(ProcessInfo, PROCESS_INFORMATION, hThread);
SEAM_SAME_FIELD(ProcessInfo, PROCESS_INFORMATION, dwProcessId);
SEAM_SAME_FIELD(ProcessInfo, PROCESS_INFORMATION, dwThreadId);
static_assert(sizeof(seam_check::IoStatus) == sizeof(IO_STATUS_BLOCK));
SEAM_SAME_FIELD(IoStatus, IO_STATUS_BLOCK, Status);
SEAM_SAME_FIELD(IoStatus, IO_STATUS_BLOCK, Information);
static_assert(sizeof(seam_check::ReadControl) == sizeof(CONSOLE_READCONSOLE_CONTROL));
SEAM_SAME_FIELD(ReadControl, CONSOLE_READCONSOLE_CONTROL, nLength);
SEAM_SAME_FIELD(ReadControl, CONSOLE_READCONSOLE_CONTROL, dwCtrlWakeupMask);
static_assert(sizeof(seam_check::SrwLock) == sizeof(SRWLOCK));
static_assert(sizeof(seam_check::SecurityAttributes) == sizeof(SECURITY_ATTRIBUTES));
SEAM_SAME_FIELD(SecurityAttributes, SECURITY_ATTRIBUTES, nLength);
SEAM_SAME_FIELD(SecurityAttributes, SECURITY_ATTRIBUTES, lpSecurityDescriptor);
SEAM_SAME_FIELD(SecurityAttributes, SECURITY_ATTRIBUTES, bInheritHandle);
static_assert(sizeof(seam_check::TokenElevation) == sizeof(TOKEN_ELEVATION));
SEAM_SAME_FIELD(TokenElevation, TOKEN_ELEVATION, TokenIsElevated);
static_assert(seam_check::wait_timeout == WAIT_TIMEOUT);
static_assert(seam_check::no_proxy == WINHTTP_ACCESS_TYPE_NO_PROXY);
static_assert(seam_check::named_proxy == WINHTTP_ACCESS_TYPE_NAMED_PROXY);
static_assert(seam_check::auto_detect == WINHTTP_AUTOPROXY_AUTO_DETECT);
static_assert(seam_check::config_url == WINHTTP_AUTOPROXY_CONFIG_URL);
static_assert(seam_check::detect_dhcp == WINHTTP_AUTO_DETECT_TYPE_DHCP);
static_assert(seam_check::detect_dns == WINHTTP_AUTO_DETECT_TYPE_DNS_A);
static_assert(sizeof(seam_check::IeProxyConfig) == sizeof(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG));
SEAM_SAME_FIELD(IeProxyConfig, WINHTTP_CURRENT_USER_IE_PROXY_CONFIG, fAutoDetect);
SEAM_SAME_FIELD(IeProxyConfig, WINHTTP_CURRENT_USER_IE_PROXY_CONFIG, lpszAutoConfigUrl);
SEAM_SAME_FIELD(IeProxyConfig, WINHTTP_CURRENT_USER_IE_PROXY_CONFIG, lpszProxy);
SEAM_SAME_FIELD(IeProxyConfig, WINHTTP_CURRENT_USER_IE_PROXY_CONFIG, lpszProxyBypass);
static_assert(sizeof(seam_check::AutoProxyOptions) == sizeof(WINHTTP_AUTOPROXY_OPTIONS));
SEAM_SAME_FIELD(AutoProxyOptions, WINHTTP_AUTOPROXY_OPTIONS, dwFlags);
SEAM_SAME_FIELD(AutoProxyOptions, WINHTTP_AUTOPROXY_OPTIONS, dwAutoDetectFlags);
SEAM_SAME_FIELD(AutoProxyOptions, WINHTTP_AUTOPROXY_OPTIONS, lpszAutoConfigUrl);
SEAM_SAME_FIELD(AutoProxyOptions, WINHTTP_AUTOPROXY_OPTIONS, fAutoLogonIfChallenged);
static_assert(sizeof(seam_check::ProxyInfo) == sizeof(WINHTTP_PROXY_INFO));
SEAM_SAME_FIELD(ProxyInfo, WINHTTP_PROXY_INFO, dwAccessType);
SEAM_SAME_FIELD(ProxyInfo, WINHTTP_PROXY_INFO, lpszProxy);
SEAM_SAME_FIELD(ProxyInfo, WINHTTP_PROXY_INFO, lpszProxyBypass);
static_assert(sizeof(char16_t) == sizeof(WCHAR));
#undef SEAM_SAME_FIELD

extern "C" {
NTSTATUS NTAPI NtWriteFile(HANDLE FileHandle, HANDLE Event, PVOID ApcRoutine, PVOID ApcContext,
                           PIO_STATUS_BLOCK IoStatusBlock, const void* Buffer, ULONG Length,
                           const LARGE_INTEGER* ByteOffset, const ULONG* Key);
NTSTATUS NTAPI NtReadFile(HANDLE FileHandle, HANDLE Event, PVOID ApcRoutine, PVOID ApcContext,
                          PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length, const LARGE_INTEGER* ByteOffset,
                          const ULONG* Key);
}

namespace {
HANDLE h(win::HANDLE handle) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)); }
win::HANDLE h(HANDLE handle) { return static_cast<win::HANDLE>(reinterpret_cast<std::uintptr_t>(handle)); }
HMODULE m(win::HMODULE module) { return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(module)); }
win::HMODULE m(HMODULE module) { return static_cast<win::HMODULE>(reinterpret_cast<std::uintptr_t>(module)); }
LPWSTR w(char16_t* text) { return reinterpret_cast<LPWSTR>(text); }
LPCWSTR w(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }
LPSECURITY_ATTRIBUTES sa(const win::SECURITY_ATTRIBUTES* attributes) {
  return const_cast<LPSECURITY_ATTRIBUTES>(reinterpret_cast<const SECURITY_ATTRIBUTES*>(attributes));
}
HINTERNET i(win::HINTERNET handle) { return reinterpret_cast<HINTERNET>(static_cast<std::uintptr_t>(handle)); }
// A function found by GetProcAddress, as a pointer of its SDK type, for
// example decltype(::WinHttpOpen); the type carries the calling convention,
// and decltype names no symbol, so nothing is imported.
template <class Function>
Function* as(win::FARPROC proc) {
  return reinterpret_cast<Function*>(static_cast<std::uintptr_t>(proc));
}
}  // namespace

namespace win {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

HANDLE GetStdHandle(DWORD nStdHandle) { return h(::GetStdHandle(nStdHandle)); }
BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) {
  return ::GetConsoleMode(h(hConsoleHandle), reinterpret_cast<LPDWORD>(lpMode));
}
UINT GetConsoleOutputCP() { return ::GetConsoleOutputCP(); }
BOOL WriteConsoleW(HANDLE hConsoleOutput, const char16_t* lpBuffer, DWORD nNumberOfCharsToWrite,
                   DWORD* lpNumberOfCharsWritten, void* lpReserved) {
  return ::WriteConsoleW(h(hConsoleOutput), lpBuffer, nNumberOfCharsToWrite,
                         reinterpret_cast<LPDWORD>(lpNumberOfCharsWritten), lpReserved);
}
BOOL ReadConsoleW(HANDLE hConsoleInput, char16_t* lpBuffer, DWORD nNumberOfCharsToRead, DWORD* lpNumberOfCharsRead,
                  CONSOLE_READCONSOLE_CONTROL* pInputControl) {
  return ::ReadConsoleW(h(hConsoleInput), lpBuffer, nNumberOfCharsToRead,
                        reinterpret_cast<LPDWORD>(lpNumberOfCharsRead),
                        reinterpret_cast<PCONSOLE_READCONSOLE_CONTROL>(pInputControl));
}
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, const char* lpMultiByteStr, int cbMultiByte,
                        char16_t* lpWideCharStr, int cchWideChar) {
  return ::MultiByteToWideChar(CodePage, dwFlags, lpMultiByteStr, cbMultiByte, w(lpWideCharStr), cchWideChar);
}
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, const char16_t* lpWideCharStr, int cchWideChar,
                        char* lpMultiByteStr, int cbMultiByte, const char* lpDefaultChar, BOOL* lpUsedDefaultChar) {
  return ::WideCharToMultiByte(CodePage, dwFlags, w(lpWideCharStr), cchWideChar, lpMultiByteStr, cbMultiByte,
                               lpDefaultChar, reinterpret_cast<LPBOOL>(lpUsedDefaultChar));
}
UINT GetACP() { return ::GetACP(); }

NTSTATUS NtWriteFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext,
                     IO_STATUS_BLOCK* IoStatusBlock, const void* Buffer, ULONG Length, const LONGLONG* ByteOffset,
                     const ULONG* Key) {
  return ::NtWriteFile(h(FileHandle), h(Event), ApcRoutine, ApcContext,
                       reinterpret_cast<PIO_STATUS_BLOCK>(IoStatusBlock), Buffer, Length,
                       reinterpret_cast<const LARGE_INTEGER*>(ByteOffset), reinterpret_cast<const ::ULONG*>(Key));
}
NTSTATUS NtReadFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext, IO_STATUS_BLOCK* IoStatusBlock,
                    void* Buffer, ULONG Length, const LONGLONG* ByteOffset, const ULONG* Key) {
  return ::NtReadFile(h(FileHandle), h(Event), ApcRoutine, ApcContext,
                      reinterpret_cast<PIO_STATUS_BLOCK>(IoStatusBlock), Buffer, Length,
                      reinterpret_cast<const LARGE_INTEGER*>(ByteOffset), reinterpret_cast<const ::ULONG*>(Key));
}
ULONG RtlNtStatusToDosError(NTSTATUS Status) { return ::RtlNtStatusToDosError(Status); }

HMODULE GetModuleHandleW(const char16_t* lpModuleName) { return m(::GetModuleHandleW(w(lpModuleName))); }
HMODULE GetModuleHandleA(const char* lpModuleName) { return m(::GetModuleHandleA(lpModuleName)); }
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) {
  return static_cast<FARPROC>(reinterpret_cast<std::uintptr_t>(::GetProcAddress(m(hModule), lpProcName)));
}
BOOL SetDefaultDllDirectories(DWORD DirectoryFlags) { return ::SetDefaultDllDirectories(DirectoryFlags); }
HMODULE LoadLibraryExW(const char16_t* lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  return m(::LoadLibraryExW(w(lpLibFileName), h(hFile), dwFlags));
}
NTSTATUS InvokeBCryptGenRandom(FARPROC proc, void* hAlgorithm, std::uint8_t* pbBuffer, ULONG cbBuffer, ULONG dwFlags) {
  using GenRandom = decltype(&::BCryptGenRandom);
  auto function = reinterpret_cast<GenRandom>(static_cast<std::uintptr_t>(proc));
  return function(static_cast<BCRYPT_ALG_HANDLE>(hAlgorithm), pbBuffer, cbBuffer, dwFlags);
}
DWORD FormatMessageW(DWORD dwFlags, HMODULE lpSource, DWORD dwMessageId, DWORD dwLanguageId, char16_t* lpBuffer,
                     DWORD nSize, void* Arguments) {
  return ::FormatMessageW(dwFlags, reinterpret_cast<LPCVOID>(m(lpSource)), dwMessageId, dwLanguageId, w(lpBuffer),
                          nSize, static_cast<va_list*>(Arguments));
}

DWORD GetTempPathW(DWORD nBufferLength, char16_t* lpBuffer) { return ::GetTempPathW(nBufferLength, w(lpBuffer)); }
DWORD InvokeGetTempPath2W(FARPROC proc, DWORD BufferLength, char16_t* Buffer) {
  using TempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
  auto function = reinterpret_cast<TempPath2>(static_cast<std::uintptr_t>(proc));
  return function(BufferLength, w(Buffer));
}
DWORD GetModuleFileNameW(HMODULE hModule, char16_t* lpFilename, DWORD nSize) {
  return ::GetModuleFileNameW(m(hModule), w(lpFilename), nSize);
}
UINT GetSystemDirectoryW(char16_t* lpBuffer, UINT uSize) { return ::GetSystemDirectoryW(w(lpBuffer), uSize); }
UINT GetSystemWindowsDirectoryW(char16_t* lpBuffer, UINT uSize) {
  return ::GetSystemWindowsDirectoryW(w(lpBuffer), uSize);
}
UINT GetWindowsDirectoryW(char16_t* lpBuffer, UINT uSize) { return ::GetWindowsDirectoryW(w(lpBuffer), uSize); }
DWORD GetEnvironmentVariableW(const char16_t* lpName, char16_t* lpBuffer, DWORD nSize) {
  return ::GetEnvironmentVariableW(w(lpName), w(lpBuffer), nSize);
}
char16_t* GetEnvironmentStringsW() { return reinterpret_cast<char16_t*>(::GetEnvironmentStringsW()); }
BOOL FreeEnvironmentStringsW(char16_t* penv) { return ::FreeEnvironmentStringsW(w(penv)); }
DWORD GetFileAttributesW(const char16_t* lpFileName) { return ::GetFileAttributesW(w(lpFileName)); }
DWORD GetFullPathNameW(const char16_t* lpFileName, DWORD nBufferLength, char16_t* lpBuffer, char16_t** lpFilePart) {
  return ::GetFullPathNameW(w(lpFileName), nBufferLength, w(lpBuffer), reinterpret_cast<LPWSTR*>(lpFilePart));
}
HANDLE CreateFileW(const char16_t* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  return h(::CreateFileW(w(lpFileName), dwDesiredAccess, dwShareMode, sa(lpSecurityAttributes), dwCreationDisposition,
                         dwFlagsAndAttributes, h(hTemplateFile)));
}
BOOL RemoveDirectoryW(const char16_t* lpPathName) { return ::RemoveDirectoryW(w(lpPathName)); }
BOOL CreateDirectoryW(const char16_t* lpPathName, const SECURITY_ATTRIBUTES* lpSecurityAttributes) {
  return ::CreateDirectoryW(w(lpPathName), sa(lpSecurityAttributes));
}

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE* TokenHandle) {
  ::HANDLE token = nullptr;
  const ::BOOL ok = ::OpenProcessToken(h(ProcessHandle), DesiredAccess, &token);
  *TokenHandle = h(token);
  return ok;
}
BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass, void* TokenInformation,
                         DWORD TokenInformationLength, DWORD* ReturnLength) {
  return ::GetTokenInformation(h(TokenHandle), static_cast<::TOKEN_INFORMATION_CLASS>(TokenInformationClass),
                               TokenInformation, TokenInformationLength, reinterpret_cast<PDWORD>(ReturnLength));
}
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(const char16_t* StringSecurityDescriptor,
                                                          DWORD StringSDRevision, void** SecurityDescriptor,
                                                          ULONG* SecurityDescriptorSize) {
  return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(w(StringSecurityDescriptor), StringSDRevision,
                                                                SecurityDescriptor,
                                                                reinterpret_cast<PULONG>(SecurityDescriptorSize));
}
void* LocalFree(void* hMem) { return ::LocalFree(hMem); }

HANDLE GetCurrentProcess() { return h(::GetCurrentProcess()); }
BOOL IsWow64Process(HANDLE hProcess, BOOL* Wow64Process) {
  ::BOOL wow64 = FALSE;
  const ::BOOL ok = ::IsWow64Process(h(hProcess), &wow64);
  *Wow64Process = wow64;
  return ok;
}
BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE* lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
  ::HANDLE target = nullptr;
  const BOOL ok = ::DuplicateHandle(h(hSourceProcessHandle), h(hSourceHandle), h(hTargetProcessHandle), &target,
                                    dwDesiredAccess, bInheritHandle, dwOptions);
  *lpTargetHandle = h(target);
  return ok;
}
BOOL CreateProcessW(const char16_t* lpApplicationName, char16_t* lpCommandLine, const void* lpProcessAttributes,
                    const void* lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags, void* lpEnvironment,
                    const char16_t* lpCurrentDirectory, STARTUPINFOW* lpStartupInfo,
                    PROCESS_INFORMATION* lpProcessInformation) {
  return ::CreateProcessW(
      w(lpApplicationName), w(lpCommandLine),
      const_cast<LPSECURITY_ATTRIBUTES>(static_cast<const ::SECURITY_ATTRIBUTES*>(lpProcessAttributes)),
      const_cast<LPSECURITY_ATTRIBUTES>(static_cast<const ::SECURITY_ATTRIBUTES*>(lpThreadAttributes)), bInheritHandles,
      dwCreationFlags, lpEnvironment, w(lpCurrentDirectory), reinterpret_cast<LPSTARTUPINFOW>(lpStartupInfo),
      reinterpret_cast<LPPROCESS_INFORMATION>(lpProcessInformation));
}
BOOL InitializeProcThreadAttributeList(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList, DWORD dwAttributeCount,
                                       DWORD dwFlags, std::size_t* lpSize) {
  ::SIZE_T size = *lpSize;
  const ::BOOL ok = ::InitializeProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(lpAttributeList),
                                                        dwAttributeCount, dwFlags, &size);
  *lpSize = size;
  return ok;
}
BOOL UpdateProcThreadAttribute(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList, DWORD dwFlags, std::uintptr_t Attribute,
                               void* lpValue, std::size_t cbSize, void* lpPreviousValue, std::size_t* lpReturnSize) {
  return ::UpdateProcThreadAttribute(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(lpAttributeList), dwFlags,
                                     Attribute, lpValue, cbSize, lpPreviousValue,
                                     reinterpret_cast<PSIZE_T>(lpReturnSize));
}
void DeleteProcThreadAttributeList(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList) {
  ::DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(lpAttributeList));
}
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return ::WaitForSingleObject(h(hHandle), dwMilliseconds);
}
BOOL GetExitCodeProcess(HANDLE hProcess, DWORD* lpExitCode) {
  return ::GetExitCodeProcess(h(hProcess), reinterpret_cast<LPDWORD>(lpExitCode));
}
BOOL CloseHandle(HANDLE hObject) { return ::CloseHandle(h(hObject)); }

BOOL CreatePipe(HANDLE* hReadPipe, HANDLE* hWritePipe, const SECURITY_ATTRIBUTES* lpPipeAttributes, DWORD nSize) {
  ::HANDLE read = nullptr;
  ::HANDLE write = nullptr;
  const BOOL ok = ::CreatePipe(&read, &write, sa(lpPipeAttributes), nSize);
  *hReadPipe = h(read);
  *hWritePipe = h(write);
  return ok;
}
BOOL PeekNamedPipe(HANDLE hNamedPipe, void* lpBuffer, DWORD nBufferSize, DWORD* lpBytesRead, DWORD* lpTotalBytesAvail,
                   DWORD* lpBytesLeftThisMessage) {
  return ::PeekNamedPipe(h(hNamedPipe), lpBuffer, nBufferSize, reinterpret_cast<LPDWORD>(lpBytesRead),
                         reinterpret_cast<LPDWORD>(lpTotalBytesAvail),
                         reinterpret_cast<LPDWORD>(lpBytesLeftThisMessage));
}
BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead, DWORD* lpNumberOfBytesRead,
              void* lpOverlapped) {
  return ::ReadFile(h(hFile), lpBuffer, nNumberOfBytesToRead, reinterpret_cast<LPDWORD>(lpNumberOfBytesRead),
                    static_cast<LPOVERLAPPED>(lpOverlapped));
}
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) { return ::TerminateProcess(h(hProcess), uExitCode); }
HANDLE CreateThread(const SECURITY_ATTRIBUTES* lpThreadAttributes, std::size_t dwStackSize,
                    THREAD_START_ROUTINE lpStartAddress, void* lpParameter, DWORD dwCreationFlags, DWORD* lpThreadId) {
  // The seam's DWORD is std::uint32_t, Windows' is unsigned long: the same
  // 32 bits and calling convention, but distinct types to the compiler.
  static_assert(sizeof(std::uint32_t) == sizeof(::DWORD));
  const auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(lpStartAddress);
  return h(::CreateThread(sa(lpThreadAttributes), dwStackSize, start, lpParameter, dwCreationFlags,
                          reinterpret_cast<LPDWORD>(lpThreadId)));
}
void* GlobalFree(void* hMem) { return ::GlobalFree(hMem); }

BOOL InvokeWinHttpGetIEProxyConfigForCurrentUser(FARPROC proc, WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* pProxyConfig) {
  return as<decltype(::WinHttpGetIEProxyConfigForCurrentUser)>(proc)(
      reinterpret_cast<::WINHTTP_CURRENT_USER_IE_PROXY_CONFIG*>(pProxyConfig));
}
HINTERNET InvokeWinHttpOpen(FARPROC proc, const char16_t* pszAgentW, DWORD dwAccessType, const char16_t* pszProxyW,
                            const char16_t* pszProxyBypassW, DWORD dwFlags) {
  return static_cast<HINTERNET>(reinterpret_cast<std::uintptr_t>(
      as<decltype(::WinHttpOpen)>(proc)(w(pszAgentW), dwAccessType, w(pszProxyW), w(pszProxyBypassW), dwFlags)));
}
BOOL InvokeWinHttpGetProxyForUrl(FARPROC proc, HINTERNET hSession, const char16_t* lpcwszUrl,
                                 WINHTTP_AUTOPROXY_OPTIONS* pAutoProxyOptions, WINHTTP_PROXY_INFO* pProxyInfo) {
  return as<decltype(::WinHttpGetProxyForUrl)>(proc)(i(hSession), w(lpcwszUrl),
                                                     reinterpret_cast<::WINHTTP_AUTOPROXY_OPTIONS*>(pAutoProxyOptions),
                                                     reinterpret_cast<::WINHTTP_PROXY_INFO*>(pProxyInfo));
}
BOOL InvokeWinHttpCloseHandle(FARPROC proc, HINTERNET hInternet) {
  return as<decltype(::WinHttpCloseHandle)>(proc)(i(hInternet));
}

void AcquireSRWLockExclusive(SRWLOCK* SRWLock) { ::AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(SRWLock)); }
BOOLEAN TryAcquireSRWLockExclusive(SRWLOCK* SRWLock) {
  return ::TryAcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(SRWLock));
}
void ReleaseSRWLockExclusive(SRWLOCK* SRWLock) { ::ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(SRWLock)); }
DWORD GetCurrentThreadId() { return ::GetCurrentThreadId(); }

HANDLE CreateWaitableTimerExW(const void* lpTimerAttributes, const char16_t* lpTimerName, DWORD dwFlags,
                              DWORD dwDesiredAccess) {
  return h(::CreateWaitableTimerExW(
      const_cast<LPSECURITY_ATTRIBUTES>(static_cast<const ::SECURITY_ATTRIBUTES*>(lpTimerAttributes)), w(lpTimerName),
      dwFlags, dwDesiredAccess));
}
BOOL SetWaitableTimer(HANDLE hTimer, const LONGLONG* lpDueTime, std::int32_t lPeriod, void* pfnCompletionRoutine,
                      void* lpArgToCompletionRoutine, BOOL fResume) {
  return ::SetWaitableTimer(h(hTimer), reinterpret_cast<const LARGE_INTEGER*>(lpDueTime), lPeriod,
                            reinterpret_cast<PTIMERAPCROUTINE>(pfnCompletionRoutine), lpArgToCompletionRoutine,
                            fResume);
}
void Sleep(DWORD dwMilliseconds) { ::Sleep(dwMilliseconds); }
BOOL QueryPerformanceCounter(LONGLONG* lpPerformanceCount) {
  return ::QueryPerformanceCounter(reinterpret_cast<LARGE_INTEGER*>(lpPerformanceCount));
}
BOOL QueryPerformanceFrequency(LONGLONG* lpFrequency) {
  return ::QueryPerformanceFrequency(reinterpret_cast<LARGE_INTEGER*>(lpFrequency));
}

void ExitProcess(UINT uExitCode) { ::ExitProcess(uExitCode); }
void FastFail(unsigned code) {
  // MinGW's headers lack the __fastfail intrinsic; this is its definition:
  // interrupt 0x29 with the code in ECX/RCX.
  __asm__ __volatile__("int $0x29" : : "c"(code) : "memory");
  __builtin_unreachable();
}

}  // namespace win
