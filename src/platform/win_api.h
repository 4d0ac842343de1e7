// The Windows boundary: every Windows and ntdll function the program calls,
// under its Windows name, with portable types (UTF-16 as char16_t, handles
// opaque, codes as fixed-width integers).
//
// Two bindings exist and the linker picks one: win_api_windows.cpp forwards
// to the real API in the Windows build; tests/fake binds a scriptable fake in
// the host build. Neither decides anything: every rule of the program lives
// above this header, so it builds and is tested on Linux.
//
// Structures whose address Windows keeps using after a call returns (the
// I/O status block of a pending NtWriteFile) are laid out exactly like the
// Windows ones, so the binding passes the caller's own object through.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using BOOL = std::int32_t;
using BOOLEAN = std::uint8_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using WORD = std::uint16_t;
using NTSTATUS = std::int32_t;
using LONGLONG = std::int64_t;

// Kernel object handle. NULL and INVALID_HANDLE_VALUE are both "no object"
// for most purposes, but the console code tells them apart.
enum class HANDLE : std::uintptr_t {};
inline constexpr HANDLE NULL_HANDLE{0};
inline constexpr HANDLE INVALID_HANDLE_VALUE{~std::uintptr_t{0}};

// Loaded-module handle (a separate type so it cannot be closed by mistake).
enum class HMODULE : std::uintptr_t {};
inline constexpr HMODULE NULL_MODULE{0};

// Address of an exported procedure; called only through the Invoke* helpers
// below, which know its real signature and calling convention.
enum class FARPROC : std::uintptr_t {};
inline constexpr FARPROC NULL_PROC{0};

// ---- Constants (values as in the Windows SDK) ----------------------------
inline constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
inline constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_BAD_LENGTH = 24;
inline constexpr DWORD ERROR_BROKEN_PIPE = 109;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
inline constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
inline constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_NO_DATA = 232;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_DIRECTORY = 267;
inline constexpr DWORD ERROR_INVALID_FLAGS = 1004;

inline constexpr NTSTATUS STATUS_SUCCESS = 0;
inline constexpr NTSTATUS STATUS_PENDING = 0x00000103;
inline constexpr NTSTATUS STATUS_END_OF_FILE = static_cast<NTSTATUS>(0xC0000011);
inline constexpr NTSTATUS STATUS_INVALID_HANDLE = static_cast<NTSTATUS>(0xC0000008);
inline constexpr NTSTATUS STATUS_PIPE_BROKEN = static_cast<NTSTATUS>(0xC000014B);
inline constexpr NTSTATUS STATUS_DISK_FULL = static_cast<NTSTATUS>(0xC000007F);

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;

inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

inline constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x00000800;

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 0x00000102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
inline constexpr DWORD OPEN_EXISTING = 3;

inline constexpr DWORD DUPLICATE_SAME_ACCESS = 0x00000002;
inline constexpr DWORD CREATE_UNICODE_ENVIRONMENT = 0x00000400;
inline constexpr DWORD STARTF_USESTDHANDLES = 0x00000100;
inline constexpr DWORD EXTENDED_STARTUPINFO_PRESENT = 0x00080000;
// UpdateProcThreadAttribute's attribute: the only handles a child inherits.
inline constexpr std::uintptr_t PROC_THREAD_ATTRIBUTE_HANDLE_LIST = 0x00020002;

inline constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
inline constexpr DWORD TIMER_ALL_ACCESS = 0x001F0003;

inline constexpr unsigned FAST_FAIL_FATAL_APP_EXIT = 7;

inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD SDDL_REVISION_1 = 1;
inline constexpr ULONG BCRYPT_USE_SYSTEM_PREFERRED_RNG = 0x00000002;

// ---- Structures -----------------------------------------------------------
struct IO_STATUS_BLOCK {
  union {
    NTSTATUS Status;
    void* Pointer;
  };
  std::uintptr_t Information;
};

struct CONSOLE_READCONSOLE_CONTROL {
  ULONG nLength;
  ULONG nInitialChars;
  ULONG dwCtrlWakeupMask;
  ULONG dwControlKeyState;
};

struct STARTUPINFOW {
  DWORD cb;
  char16_t* lpReserved;
  char16_t* lpDesktop;
  char16_t* lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  std::uint8_t* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};

// An attribute list lives in a buffer of the caller's, of the size
// InitializeProcThreadAttributeList asks for; Windows alone reads it.
struct PROC_THREAD_ATTRIBUTE_LIST;

// CreateProcessW reads lpAttributeList when the creation flags hold
// EXTENDED_STARTUPINFO_PRESENT and StartupInfo.cb is this structure's size.
struct STARTUPINFOEXW {
  STARTUPINFOW StartupInfo;
  PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

struct SRWLOCK {
  void* Ptr;
};

// The security descriptor is Windows' own (see
// ConvertStringSecurityDescriptorToSecurityDescriptorW); it is never read
// or built by the program.
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};

enum class TOKEN_INFORMATION_CLASS : std::int32_t { TokenElevation = 20 };
struct TOKEN_ELEVATION {
  DWORD TokenIsElevated;
};

// ---- Last error -----------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- Standard handles and console -----------------------------------------
HANDLE GetStdHandle(DWORD nStdHandle);
BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode);
UINT GetConsoleOutputCP();
BOOL WriteConsoleW(HANDLE hConsoleOutput, const char16_t* lpBuffer, DWORD nNumberOfCharsToWrite,
                   DWORD* lpNumberOfCharsWritten, void* lpReserved);
BOOL ReadConsoleW(HANDLE hConsoleInput, char16_t* lpBuffer, DWORD nNumberOfCharsToRead, DWORD* lpNumberOfCharsRead,
                  CONSOLE_READCONSOLE_CONTROL* pInputControl);
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, const char* lpMultiByteStr, int cbMultiByte,
                        char16_t* lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, const char16_t* lpWideCharStr, int cchWideChar,
                        char* lpMultiByteStr, int cbMultiByte, const char* lpDefaultChar, BOOL* lpUsedDefaultChar);
// The system's ANSI code page (what CP_ACP stands for).
UINT GetACP();

// ---- ntdll file I/O ------------------------------------------------------
NTSTATUS NtWriteFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext,
                     IO_STATUS_BLOCK* IoStatusBlock, const void* Buffer, ULONG Length, const LONGLONG* ByteOffset,
                     const ULONG* Key);
NTSTATUS NtReadFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext, IO_STATUS_BLOCK* IoStatusBlock,
                    void* Buffer, ULONG Length, const LONGLONG* ByteOffset, const ULONG* Key);
ULONG RtlNtStatusToDosError(NTSTATUS Status);

// ---- Modules and messages ------------------------------------------------
HMODULE GetModuleHandleW(const char16_t* lpModuleName);
HMODULE GetModuleHandleA(const char* lpModuleName);
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName);
// Where later library loads of the process look when they do not say.
BOOL SetDefaultDllDirectories(DWORD DirectoryFlags);
// hFile is reserved and always null.
HMODULE LoadLibraryExW(const char16_t* lpLibFileName, HANDLE hFile, DWORD dwFlags);
// Calls a procedure found by GetProcAddress in bcrypt.dll with
// BCryptGenRandom's signature; the algorithm handle is always null.
NTSTATUS InvokeBCryptGenRandom(FARPROC proc, void* hAlgorithm, std::uint8_t* pbBuffer, ULONG cbBuffer, ULONG dwFlags);
DWORD FormatMessageW(DWORD dwFlags, HMODULE lpSource, DWORD dwMessageId, DWORD dwLanguageId, char16_t* lpBuffer,
                     DWORD nSize, void* Arguments);

// ---- Paths and environment -----------------------------------------------
DWORD GetTempPathW(DWORD nBufferLength, char16_t* lpBuffer);
// Calls a procedure found by GetProcAddress that has GetTempPath2W's
// signature: (DWORD BufferLength, LPWSTR Buffer) -> DWORD.
DWORD InvokeGetTempPath2W(FARPROC proc, DWORD BufferLength, char16_t* Buffer);
DWORD GetModuleFileNameW(HMODULE hModule, char16_t* lpFilename, DWORD nSize);
UINT GetSystemDirectoryW(char16_t* lpBuffer, UINT uSize);
UINT GetWindowsDirectoryW(char16_t* lpBuffer, UINT uSize);
// The shared Windows folder, also on a terminal server where
// GetWindowsDirectoryW gives a per-user one.
UINT GetSystemWindowsDirectoryW(char16_t* lpBuffer, UINT uSize);
DWORD GetEnvironmentVariableW(const char16_t* lpName, char16_t* lpBuffer, DWORD nSize);
// This process's environment block, allocated by Windows: "name=value"
// strings each ending in a NUL, then one more NUL. Freed with
// FreeEnvironmentStringsW.
char16_t* GetEnvironmentStringsW();
BOOL FreeEnvironmentStringsW(char16_t* penv);
DWORD GetFileAttributesW(const char16_t* lpFileName);
BOOL DeleteFileW(const char16_t* lpFileName);
// Removes an empty folder.
BOOL RemoveDirectoryW(const char16_t* lpPathName);
DWORD GetFullPathNameW(const char16_t* lpFileName, DWORD nBufferLength, char16_t* lpBuffer, char16_t** lpFilePart);
// The template is never used: always null.
HANDLE CreateFileW(const char16_t* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL CreateDirectoryW(const char16_t* lpPathName, const SECURITY_ATTRIBUTES* lpSecurityAttributes);

// ---- Tokens and security descriptors (advapi32, a KnownDLL) ---------------
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE* TokenHandle);
BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass, void* TokenInformation,
                         DWORD TokenInformationLength, DWORD* ReturnLength);
// The descriptor is allocated by Windows and freed with LocalFree; the size
// is never asked for (always null).
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(const char16_t* StringSecurityDescriptor,
                                                          DWORD StringSDRevision, void** SecurityDescriptor,
                                                          ULONG* SecurityDescriptorSize);
void* LocalFree(void* hMem);

// ---- Processes and handles -----------------------------------------------
HANDLE GetCurrentProcess();
BOOL IsWow64Process(HANDLE hProcess, BOOL* Wow64Process);
BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE* lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);
BOOL CreateProcessW(const char16_t* lpApplicationName, char16_t* lpCommandLine, const void* lpProcessAttributes,
                    const void* lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags, void* lpEnvironment,
                    const char16_t* lpCurrentDirectory, STARTUPINFOW* lpStartupInfo,
                    PROCESS_INFORMATION* lpProcessInformation);
// With a null list: fails with ERROR_INSUFFICIENT_BUFFER and the size the
// list needs in *lpSize. dwFlags is reserved (0).
BOOL InitializeProcThreadAttributeList(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList, DWORD dwAttributeCount,
                                       DWORD dwFlags, std::size_t* lpSize);
// Windows keeps lpValue and reads it when the process is created, so it must
// live until then. dwFlags is reserved (0); the previous value and return
// size are never asked for (null).
BOOL UpdateProcThreadAttribute(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList, DWORD dwFlags, std::uintptr_t Attribute,
                               void* lpValue, std::size_t cbSize, void* lpPreviousValue, std::size_t* lpReturnSize);
void DeleteProcThreadAttributeList(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL GetExitCodeProcess(HANDLE hProcess, DWORD* lpExitCode);
BOOL CloseHandle(HANDLE hObject);

// Anonymous pipes: both ends are made not inheritable (no attributes); a
// child gets an inheritable duplicate. Reads are synchronous; the
// overlapped structure is never used (always null).
BOOL CreatePipe(HANDLE* hReadPipe, HANDLE* hWritePipe, const SECURITY_ATTRIBUTES* lpPipeAttributes, DWORD nSize);
// Only the count of bytes waiting is asked for: the buffer is always null.
BOOL PeekNamedPipe(HANDLE hNamedPipe, void* lpBuffer, DWORD nBufferSize, DWORD* lpBytesRead, DWORD* lpTotalBytesAvail,
                   DWORD* lpBytesLeftThisMessage);
BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead, DWORD* lpNumberOfBytesRead, void* lpOverlapped);
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);

// Threads. The start routine has Windows' calling convention (stdcall on
// x86); VANT_WINAPI gives a routine of the program that convention.
#if defined(_WIN32) && defined(__i386__)
#define VANT_WINAPI __attribute__((stdcall))
#else
#define VANT_WINAPI
#endif
using THREAD_START_ROUTINE = DWORD(VANT_WINAPI*)(void* lpParameter);
// No attributes, the default stack, no flags.
HANDLE CreateThread(const SECURITY_ATTRIBUTES* lpThreadAttributes, std::size_t dwStackSize,
                    THREAD_START_ROUTINE lpStartAddress, void* lpParameter, DWORD dwCreationFlags, DWORD* lpThreadId);
// Frees memory a Windows function allocated for its caller (WinHTTP's
// proxy texts); null on success.
void* GlobalFree(void* hMem);

// ---- Locks (slim reader/writer locks, used exclusively) -------------------
void AcquireSRWLockExclusive(SRWLOCK* SRWLock);
BOOLEAN TryAcquireSRWLockExclusive(SRWLOCK* SRWLock);
void ReleaseSRWLockExclusive(SRWLOCK* SRWLock);
DWORD GetCurrentThreadId();

// ---- Time ----------------------------------------------------------------
HANDLE CreateWaitableTimerExW(const void* lpTimerAttributes, const char16_t* lpTimerName, DWORD dwFlags,
                              DWORD dwDesiredAccess);
BOOL SetWaitableTimer(HANDLE hTimer, const LONGLONG* lpDueTime, std::int32_t lPeriod, void* pfnCompletionRoutine,
                      void* lpArgToCompletionRoutine, BOOL fResume);
void Sleep(DWORD dwMilliseconds);
BOOL QueryPerformanceCounter(LONGLONG* lpPerformanceCount);
BOOL QueryPerformanceFrequency(LONGLONG* lpFrequency);

// ---- Process end ---------------------------------------------------------
[[noreturn]] void ExitProcess(UINT uExitCode);
// The __fastfail intrinsic: ends the process at once, running nothing of
// the process's own (no clean-up, no handlers).
[[noreturn]] void FastFail(unsigned code);

// ---- Authenticode (wintrust, crypt32) -------------------------------------
// Used only by a build that checks the downloaded installer's signer. The
// exe imports neither library: the check loads both from the system folder
// when it runs (LoadLibraryExW) and finds each function by name
// (GetProcAddress); the Invoke* helpers at the end call a function found
// that way with its real signature and calling convention.
//
// Windows owns the structures it hands out here and the program reads them
// in place, so they are laid out like the Windows ones up to the last field
// the program reads (the binding checks each offset). Never allocated by
// the program itself.

using LONG = std::int32_t;

// A window handle; WinVerifyTrust takes one and, without UI, ignores it.
enum class HWND : std::uintptr_t {};
inline constexpr HWND NULL_WINDOW{0};

// A certificate store; only handed back to Windows.
enum class HCERTSTORE : std::uintptr_t {};
// A chain engine; null is the current user's, the one WinVerifyTrust uses.
enum class HCERTCHAINENGINE : std::uintptr_t {};
inline constexpr HCERTCHAINENGINE HCCE_CURRENT_USER{0};

// The predefined chain policies are small numbers passed in place of an
// OID string pointer.
enum class CHAIN_POLICY : std::uintptr_t {};
inline constexpr CHAIN_POLICY CERT_CHAIN_POLICY_AUTHENTICODE{2};

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  std::uint8_t Data4[8];
};
inline constexpr GUID WINTRUST_ACTION_GENERIC_VERIFY_V2 = {
    0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

inline constexpr DWORD WTD_UI_NONE = 2;
inline constexpr DWORD WTD_REVOKE_NONE = 0;
inline constexpr DWORD WTD_CHOICE_FILE = 1;
inline constexpr DWORD WTD_STATEACTION_VERIFY = 1;
inline constexpr DWORD WTD_STATEACTION_CLOSE = 2;
inline constexpr DWORD WTD_REVOCATION_CHECK_NONE = 0x00000010;
inline constexpr DWORD WTD_CACHE_ONLY_URL_RETRIEVAL = 0x00001000;
inline constexpr DWORD WTD_UICONTEXT_EXECUTE = 0;

inline constexpr DWORD CERT_NAME_SIMPLE_DISPLAY_TYPE = 4;

// CryptHashCertificate2's name of SHA-256 (bcrypt.h).
inline constexpr char16_t BCRYPT_SHA256_ALGORITHM[] = u"SHA256";

// CertGetCertificateChain's flags: issuers only from what is already on
// the machine (no network, unlike revocation); revocation of every
// certificate but the root; one time limit for all revocation fetches.
inline constexpr DWORD CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL = 0x00000004;
inline constexpr DWORD CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT = 0x40000000;
inline constexpr DWORD CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT = 0x08000000;
// CERT_USAGE_MATCH.dwType: every listed usage (none listed: any usage).
inline constexpr DWORD USAGE_MATCH_TYPE_AND = 0;

inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr LONG TRUST_E_NOSIGNATURE = static_cast<LONG>(0x800B0100);
inline constexpr LONG TRUST_E_SUBJECT_NOT_TRUSTED = static_cast<LONG>(0x800B0004);
inline constexpr LONG TRUST_E_BAD_DIGEST = static_cast<LONG>(0x80096010);
inline constexpr LONG TRUST_E_CERT_SIGNATURE = static_cast<LONG>(0x80096004);
inline constexpr LONG TRUST_E_BASIC_CONSTRAINTS = static_cast<LONG>(0x80096019);
inline constexpr LONG TRUST_E_EXPLICIT_DISTRUST = static_cast<LONG>(0x800B0111);
inline constexpr LONG CERT_E_EXPIRED = static_cast<LONG>(0x800B0101);
inline constexpr LONG CERT_E_UNTRUSTEDROOT = static_cast<LONG>(0x800B0109);
inline constexpr LONG CERT_E_CHAINING = static_cast<LONG>(0x800B010A);
inline constexpr LONG CERT_E_WRONG_USAGE = static_cast<LONG>(0x800B0110);
inline constexpr LONG CRYPT_E_REVOKED = static_cast<LONG>(0x80092010);
inline constexpr LONG CRYPT_E_NO_REVOCATION_CHECK = static_cast<LONG>(0x80092012);
inline constexpr LONG CRYPT_E_REVOCATION_OFFLINE = static_cast<LONG>(0x80092013);
// CertGetEnhancedKeyUsage's last error for a certificate without any usage
// restriction.
inline constexpr DWORD CRYPT_E_NOT_FOUND = 0x80092004;

// CERT_TRUST_STATUS.dwErrorStatus bits.
inline constexpr DWORD CERT_TRUST_IS_NOT_TIME_VALID = 0x00000001;
inline constexpr DWORD CERT_TRUST_IS_REVOKED = 0x00000004;
inline constexpr DWORD CERT_TRUST_IS_NOT_SIGNATURE_VALID = 0x00000008;
inline constexpr DWORD CERT_TRUST_IS_NOT_VALID_FOR_USAGE = 0x00000010;
inline constexpr DWORD CERT_TRUST_IS_UNTRUSTED_ROOT = 0x00000020;
inline constexpr DWORD CERT_TRUST_REVOCATION_STATUS_UNKNOWN = 0x00000040;
inline constexpr DWORD CERT_TRUST_IS_CYCLIC = 0x00000080;
inline constexpr DWORD CERT_TRUST_INVALID_BASIC_CONSTRAINTS = 0x00000400;
inline constexpr DWORD CERT_TRUST_IS_PARTIAL_CHAIN = 0x00010000;
inline constexpr DWORD CERT_TRUST_IS_OFFLINE_REVOCATION = 0x01000000;
inline constexpr DWORD CERT_TRUST_IS_EXPLICIT_DISTRUST = 0x04000000;

// The enhanced key usage of code signing.
inline constexpr char szOID_PKIX_KP_CODE_SIGNING[] = "1.3.6.1.5.5.7.3.3";

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct WINTRUST_FILE_INFO {
  DWORD cbStruct;
  const char16_t* pcwszFilePath;
  HANDLE hFile;
  GUID* pgKnownSubject;
};

struct WINTRUST_DATA {
  DWORD cbStruct;
  void* pPolicyCallbackData;
  void* pSIPClientData;
  DWORD dwUIChoice;
  DWORD fdwRevocationChecks;
  DWORD dwUnionChoice;
  WINTRUST_FILE_INFO* pFile;  // the union member of WTD_CHOICE_FILE
  DWORD dwStateAction;
  HANDLE hWVTStateData;  // not a kernel handle: closed by WTD_STATEACTION_CLOSE
  char16_t* pwszURLReference;
  DWORD dwProvFlags;
  DWORD dwUIContext;
};

// Opaque: only passed back to Windows.
struct CRYPT_PROVIDER_DATA;
struct CERT_INFO;

struct CERT_TRUST_STATUS {
  DWORD dwErrorStatus;
  DWORD dwInfoStatus;
};

struct CERT_CONTEXT {
  DWORD dwCertEncodingType;
  const std::uint8_t* pbCertEncoded;  // the whole DER certificate
  DWORD cbCertEncoded;
  CERT_INFO* pCertInfo;
  HCERTSTORE hCertStore;  // of a signer's leaf: the certificates the signature carries
};

struct CERT_CHAIN_ELEMENT {
  DWORD cbSize;
  const CERT_CONTEXT* pCertContext;
  CERT_TRUST_STATUS TrustStatus;
};

struct CERT_SIMPLE_CHAIN {
  DWORD cbSize;
  CERT_TRUST_STATUS TrustStatus;
  DWORD cElement;
  CERT_CHAIN_ELEMENT** rgpElement;
};

struct CERT_CHAIN_CONTEXT {
  DWORD cbSize;
  CERT_TRUST_STATUS TrustStatus;
  DWORD cChain;
  CERT_SIMPLE_CHAIN** rgpChain;
};

struct CRYPT_PROVIDER_SGNR {
  DWORD cbStruct;
  FILETIME sftVerifyAsOf;  // of a counter-signer (a timestamp): the time it states
  DWORD csCertChain;
  void* pasCertChain;
  DWORD dwSignerType;
  void* psSigner;
  DWORD dwError;           // 0 when the signer (or counter-signer) verified
  DWORD csCounterSigners;  // counter-signatures (timestamps), verified or not
  CRYPT_PROVIDER_SGNR* pasCounterSigners;
  const CERT_CHAIN_CONTEXT* pChainContext;
};

struct CERT_ENHKEY_USAGE {
  DWORD cUsageIdentifier;
  char** rgpszUsageIdentifier;
};

struct CERT_USAGE_MATCH {
  DWORD dwType;
  CERT_ENHKEY_USAGE Usage;
};

// With the fields after RequestedUsage (CERT_CHAIN_PARA_HAS_EXTRA_FIELDS),
// whole: Windows reads a field only when cbSize covers it.
struct CERT_CHAIN_PARA {
  DWORD cbSize;
  CERT_USAGE_MATCH RequestedUsage;
  CERT_USAGE_MATCH RequestedIssuancePolicy;
  DWORD dwUrlRetrievalTimeout;  // milliseconds; 0: Windows' default
  BOOL fCheckRevocationFreshnessTime;
  DWORD dwRevocationFreshnessTime;
  FILETIME* pftCacheResync;
  const void* pStrongSignPara;
  DWORD dwStrongSignFlags;
};

struct CERT_CHAIN_POLICY_PARA {
  DWORD cbSize;
  DWORD dwFlags;
  void* pvExtraPolicyPara;
};

struct CERT_CHAIN_POLICY_STATUS {
  DWORD cbSize;
  DWORD dwError;
  LONG lChainIndex;
  LONG lElementIndex;
  void* pvExtraPolicyStatus;
};

// Each calls `proc`, which GetProcAddress found under the name after
// "Invoke" in wintrust.dll or crypt32.dll, with the rest of the arguments.
LONG InvokeWinVerifyTrust(FARPROC proc, HWND hwnd, GUID* pgActionID, WINTRUST_DATA* pWVTData);
CRYPT_PROVIDER_DATA* InvokeWTHelperProvDataFromStateData(FARPROC proc, HANDLE hStateData);
CRYPT_PROVIDER_SGNR* InvokeWTHelperGetProvSignerFromChain(FARPROC proc, CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner,
                                                          BOOL fCounterSigner, DWORD idxCounterSigner);
BOOL InvokeCertVerifyCertificateChainPolicy(FARPROC proc, CHAIN_POLICY pszPolicyOID,
                                            const CERT_CHAIN_CONTEXT* pChainContext,
                                            CERT_CHAIN_POLICY_PARA* pPolicyPara,
                                            CERT_CHAIN_POLICY_STATUS* pPolicyStatus);
BOOL InvokeCertGetEnhancedKeyUsage(FARPROC proc, const CERT_CONTEXT* pCertContext, DWORD dwFlags,
                                   CERT_ENHKEY_USAGE* pUsage, DWORD* pcbUsage);
// -1: not yet valid, 1: expired, 0: valid at the time (null: now).
LONG InvokeCertVerifyTimeValidity(FARPROC proc, const FILETIME* pTimeToVerify, CERT_INFO* pCertInfo);
DWORD InvokeCertGetNameStringW(FARPROC proc, const CERT_CONTEXT* pCertContext, DWORD dwType, DWORD dwFlags,
                               void* pvTypePara, char16_t* pszNameString, DWORD cchNameString);
BOOL InvokeCryptHashCertificate2(FARPROC proc, const char16_t* pwszCNGHashAlgid, DWORD dwFlags, void* pvReserved,
                                 const std::uint8_t* pbEncoded, DWORD cbEncoded, std::uint8_t* pbComputedHash,
                                 DWORD* pcbComputedHash);
// pTime null: now. The chain comes back in *ppChainContext, to be freed.
BOOL InvokeCertGetCertificateChain(FARPROC proc, HCERTCHAINENGINE hChainEngine, const CERT_CONTEXT* pCertContext,
                                   const FILETIME* pTime, HCERTSTORE hAdditionalStore, CERT_CHAIN_PARA* pChainPara,
                                   DWORD dwFlags, void* pvReserved, const CERT_CHAIN_CONTEXT** ppChainContext);
void InvokeCertFreeCertificateChain(FARPROC proc, const CERT_CHAIN_CONTEXT* pChainContext);

// ---- WinHTTP (the user's proxy setting) ------------------------------------
// The exe does not import winhttp.dll (not a KnownDLL): the proxy lookup
// loads it from the system folder and calls these through the addresses
// GetProcAddress found. The structures are Windows' own layout; the texts
// in them are allocated by WinHTTP and freed with GlobalFree.

// An internet handle (a WinHTTP session), closed with WinHttpCloseHandle.
enum class HINTERNET : std::uintptr_t {};
inline constexpr HINTERNET NULL_INTERNET{0};

inline constexpr DWORD WINHTTP_ACCESS_TYPE_NO_PROXY = 1;
inline constexpr DWORD WINHTTP_ACCESS_TYPE_NAMED_PROXY = 3;
inline constexpr DWORD WINHTTP_AUTOPROXY_AUTO_DETECT = 0x00000001;
inline constexpr DWORD WINHTTP_AUTOPROXY_CONFIG_URL = 0x00000002;
inline constexpr DWORD WINHTTP_AUTO_DETECT_TYPE_DHCP = 0x00000001;
inline constexpr DWORD WINHTTP_AUTO_DETECT_TYPE_DNS_A = 0x00000002;

struct WINHTTP_CURRENT_USER_IE_PROXY_CONFIG {
  BOOL fAutoDetect;
  char16_t* lpszAutoConfigUrl;
  char16_t* lpszProxy;
  char16_t* lpszProxyBypass;
};

struct WINHTTP_AUTOPROXY_OPTIONS {
  DWORD dwFlags;
  DWORD dwAutoDetectFlags;
  const char16_t* lpszAutoConfigUrl;
  void* lpvReserved;
  DWORD dwReserved;
  BOOL fAutoLogonIfChallenged;
};

struct WINHTTP_PROXY_INFO {
  DWORD dwAccessType;
  char16_t* lpszProxy;
  char16_t* lpszProxyBypass;
};

BOOL InvokeWinHttpGetIEProxyConfigForCurrentUser(FARPROC proc, WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* pProxyConfig);
// No proxy of its own for the session (WINHTTP_ACCESS_TYPE_NO_PROXY), no
// names, synchronous.
HINTERNET InvokeWinHttpOpen(FARPROC proc, const char16_t* pszAgentW, DWORD dwAccessType, const char16_t* pszProxyW,
                            const char16_t* pszProxyBypassW, DWORD dwFlags);
BOOL InvokeWinHttpGetProxyForUrl(FARPROC proc, HINTERNET hSession, const char16_t* lpcwszUrl,
                                 WINHTTP_AUTOPROXY_OPTIONS* pAutoProxyOptions, WINHTTP_PROXY_INFO* pProxyInfo);
BOOL InvokeWinHttpCloseHandle(FARPROC proc, HINTERNET hInternet);

}  // namespace win
