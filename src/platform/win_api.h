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
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_BROKEN_PIPE = 109;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
inline constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_NO_DATA = 232;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_ELEVATION_REQUIRED = 740;

inline constexpr NTSTATUS STATUS_SUCCESS = 0;
inline constexpr NTSTATUS STATUS_PENDING = 0x00000103;
inline constexpr NTSTATUS STATUS_END_OF_FILE = static_cast<NTSTATUS>(0xC0000011);
inline constexpr NTSTATUS STATUS_INVALID_HANDLE = static_cast<NTSTATUS>(0xC0000008);
inline constexpr NTSTATUS STATUS_PIPE_BROKEN = static_cast<NTSTATUS>(0xC000014B);
inline constexpr NTSTATUS STATUS_DISK_FULL = static_cast<NTSTATUS>(0xC000007F);

inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

inline constexpr DWORD DUPLICATE_SAME_ACCESS = 0x00000002;
inline constexpr DWORD CREATE_UNICODE_ENVIRONMENT = 0x00000400;
inline constexpr DWORD STARTF_USESTDHANDLES = 0x00000100;

inline constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
inline constexpr DWORD TIMER_ALL_ACCESS = 0x001F0003;

inline constexpr unsigned FAST_FAIL_FATAL_APP_EXIT = 7;

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

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

struct SRWLOCK {
  void* Ptr;
};

// ---- Last error -----------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- Standard handles and console -----------------------------------------
HANDLE GetStdHandle(DWORD nStdHandle);
BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode);
UINT GetConsoleOutputCP();
BOOL WriteConsoleW(HANDLE hConsoleOutput, const char16_t* lpBuffer,
                   DWORD nNumberOfCharsToWrite, DWORD* lpNumberOfCharsWritten,
                   void* lpReserved);
BOOL ReadConsoleW(HANDLE hConsoleInput, char16_t* lpBuffer,
                  DWORD nNumberOfCharsToRead, DWORD* lpNumberOfCharsRead,
                  CONSOLE_READCONSOLE_CONTROL* pInputControl);
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, const char* lpMultiByteStr,
                        int cbMultiByte, char16_t* lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, const char16_t* lpWideCharStr,
                        int cchWideChar, char* lpMultiByteStr, int cbMultiByte,
                        const char* lpDefaultChar, BOOL* lpUsedDefaultChar);

// ---- ntdll file I/O ------------------------------------------------------
NTSTATUS NtWriteFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext,
                     IO_STATUS_BLOCK* IoStatusBlock, const void* Buffer, ULONG Length,
                     const LONGLONG* ByteOffset, const ULONG* Key);
NTSTATUS NtReadFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext,
                    IO_STATUS_BLOCK* IoStatusBlock, void* Buffer, ULONG Length,
                    const LONGLONG* ByteOffset, const ULONG* Key);
ULONG RtlNtStatusToDosError(NTSTATUS Status);

// ---- Modules and messages ------------------------------------------------
HMODULE GetModuleHandleW(const char16_t* lpModuleName);
HMODULE GetModuleHandleA(const char* lpModuleName);
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName);
DWORD FormatMessageW(DWORD dwFlags, HMODULE lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     char16_t* lpBuffer, DWORD nSize, void* Arguments);

// ---- Paths and environment -----------------------------------------------
DWORD GetTempPathW(DWORD nBufferLength, char16_t* lpBuffer);
// Calls a procedure found by GetProcAddress that has GetTempPath2W's
// signature: (DWORD BufferLength, LPWSTR Buffer) -> DWORD.
DWORD InvokeGetTempPath2W(FARPROC proc, DWORD BufferLength, char16_t* Buffer);
DWORD GetModuleFileNameW(HMODULE hModule, char16_t* lpFilename, DWORD nSize);
UINT GetSystemDirectoryW(char16_t* lpBuffer, UINT uSize);
UINT GetWindowsDirectoryW(char16_t* lpBuffer, UINT uSize);
DWORD GetEnvironmentVariableW(const char16_t* lpName, char16_t* lpBuffer, DWORD nSize);
DWORD GetFileAttributesW(const char16_t* lpFileName);
DWORD GetFullPathNameW(const char16_t* lpFileName, DWORD nBufferLength, char16_t* lpBuffer,
                       char16_t** lpFilePart);

// ---- Processes and handles -----------------------------------------------
HANDLE GetCurrentProcess();
BOOL IsWow64Process(HANDLE hProcess, BOOL* Wow64Process);
BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                     HANDLE hTargetProcessHandle, HANDLE* lpTargetHandle,
                     DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);
BOOL CreateProcessW(const char16_t* lpApplicationName, char16_t* lpCommandLine,
                    const void* lpProcessAttributes, const void* lpThreadAttributes,
                    BOOL bInheritHandles, DWORD dwCreationFlags, void* lpEnvironment,
                    const char16_t* lpCurrentDirectory, STARTUPINFOW* lpStartupInfo,
                    PROCESS_INFORMATION* lpProcessInformation);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL GetExitCodeProcess(HANDLE hProcess, DWORD* lpExitCode);
BOOL CloseHandle(HANDLE hObject);

// ---- Locks (slim reader/writer locks, used exclusively) -------------------
void AcquireSRWLockExclusive(SRWLOCK* SRWLock);
BOOLEAN TryAcquireSRWLockExclusive(SRWLOCK* SRWLock);
void ReleaseSRWLockExclusive(SRWLOCK* SRWLock);
DWORD GetCurrentThreadId();

// ---- Time ----------------------------------------------------------------
HANDLE CreateWaitableTimerExW(const void* lpTimerAttributes, const char16_t* lpTimerName,
                              DWORD dwFlags, DWORD dwDesiredAccess);
BOOL SetWaitableTimer(HANDLE hTimer, const LONGLONG* lpDueTime, std::int32_t lPeriod,
                      void* pfnCompletionRoutine, void* lpArgToCompletionRoutine,
                      BOOL fResume);
void Sleep(DWORD dwMilliseconds);
BOOL QueryPerformanceCounter(LONGLONG* lpPerformanceCount);
BOOL QueryPerformanceFrequency(LONGLONG* lpFrequency);

// ---- Process end ---------------------------------------------------------
[[noreturn]] void ExitProcess(UINT uExitCode);
// The __fastfail intrinsic: ends the process at once, running nothing of
// the process's own (no clean-up, no handlers).
[[noreturn]] void FastFail(unsigned code);

}  // namespace win
