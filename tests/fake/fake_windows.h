// A scriptable stand-in for the Windows functions of the seam, used by the
// host build. It models a small Windows: handles that refer to consoles,
// byte streams (files, pipes, NUL), processes, threads and timers; a file
// system of known paths; an environment; message tables; a virtual clock.
// Tests set it up per case (fake::reset() gives the defaults below), script
// answers where the model is not enough (the on_* hooks), and read back what
// the program did (the records and the call log).
//
// ExitProcess and FastFail throw ProcessExited / FailedFast, so a test gets
// control back with the code; the program code between is exception-neutral.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_api.h"

namespace fake {

using win::BOOL;
using win::DWORD;
using win::HANDLE;
using win::NTSTATUS;

struct ProcessExited {
  DWORD code;
};
struct FailedFast {
  unsigned code;
};

// ---- Objects a handle can refer to ---------------------------------------

struct Console {
  // Units accepted by WriteConsoleW, in order: what the screen shows.
  std::u16string screen;
  // Units offered to each WriteConsoleW call.
  std::vector<std::u16string> writes;
  // Per call, the most units the console accepts (popped front; when empty
  // the console takes everything).
  std::deque<DWORD> accept_limits;
  // When set, WriteConsoleW fails with this code.
  std::optional<DWORD> write_error;
  // Bytes written with NtWriteFile, one entry per call, as a console whose
  // output code page is UTF-8 takes them; they are shown on the screen too.
  std::vector<std::string> byte_writes;

  // Answers to ReadConsoleW, one per call. `cancelled` is Ctrl-C: 0 units
  // with ERROR_OPERATION_ABORTED. With no answer left the read fails with
  // `read_error_when_empty` (a test that reads more than it scripted is
  // wrong, and must not hang).
  struct Read {
    std::u16string units{};
    bool cancelled = false;
    std::optional<DWORD> fail{};  // the call fails with this code
  };
  std::deque<Read> reads;
  DWORD read_error_when_empty = win::ERROR_INVALID_HANDLE;
  // What each ReadConsoleW asked for.
  struct ReadRequest {
    DWORD units_wanted;
    win::CONSOLE_READCONSOLE_CONTROL control;
    bool had_control;
  };
  std::vector<ReadRequest> read_requests;
};

struct ByteStream {
  // An anonymous pipe (CreatePipe): what a child writes to its write end
  // becomes readable at its read end.
  bool pipe = false;
  // ---- Writing
  // All bytes accepted, and the bytes offered to each NtWriteFile call.
  std::string written;
  std::vector<std::string> writes;
  // Scripted answers, one per NtWriteFile (popped front). Without one the
  // stream takes every byte with STATUS_SUCCESS.
  struct WriteAnswer {
    NTSTATUS status = win::STATUS_SUCCESS;
    std::optional<std::size_t> accept{};  // bytes taken; all when unset
    // Return STATUS_PENDING now; the wait on the handle then completes the
    // write with `status` (or leaves it pending when `still_pending`).
    bool pending = false;
    bool still_pending = false;
  };
  std::deque<WriteAnswer> write_answers;

  // ---- Reading
  std::string readable;  // bytes not yet read
  // A flood: this many bytes of `flood_byte`, read before `readable` and
  // made up as they are read, so a test can send gigabytes without holding
  // them.
  std::uint64_t flood = 0;
  char flood_byte = 'x';
  std::size_t max_read = static_cast<std::size_t>(-1);  // per NtReadFile
  NTSTATUS end_status = win::STATUS_END_OF_FILE;        // when nothing is left
  // Scripted answers to NtReadFile (popped front) before `readable` is used.
  struct ReadAnswer {
    NTSTATUS status = win::STATUS_SUCCESS;
    std::string bytes{};
    bool pending = false;
    bool still_pending = false;
  };
  std::deque<ReadAnswer> read_answers;
  std::vector<std::size_t> read_requests;  // buffer size of each NtReadFile
};

struct CreateProcessCall {
  std::u16string application;  // lpApplicationName (empty when null)
  bool application_null = false;
  std::u16string command_line;  // lpCommandLine up to its NUL
  BOOL inherit_handles = 0;
  DWORD creation_flags = 0;
  bool environment_null = true;
  // The child's environment: the strings of lpEnvironment (read as UTF-16,
  // as CREATE_UNICODE_ENVIRONMENT says it is) up to the empty one, or the
  // parent's (`environment`, in its order) when it is null.
  std::vector<std::u16string> environment;
  // The value of the child's variable `name` (Windows' lookup: the first
  // string whose name matches without case), if it has one.
  std::optional<std::u16string> variable(std::u16string_view name) const;
  bool current_directory_null = true;
  std::u16string current_directory;  // lpCurrentDirectory (empty when null)
  // The folder the child starts in: lpCurrentDirectory's full path, or the
  // parent's current folder.
  std::u16string folder;
  bool attributes_null = true;  // both security attribute pointers
  DWORD startup_cb = 0;
  DWORD startup_flags = 0;
  HANDLE std_input = win::NULL_HANDLE;
  HANDLE std_output = win::NULL_HANDLE;
  HANDLE std_error = win::NULL_HANDLE;
  bool startup_otherwise_zero = true;  // every other STARTUPINFOW field 0
  // Inheritable handles open in the parent at the moment of the call.
  std::vector<HANDLE> inheritable_handles;
  // EXTENDED_STARTUPINFO_PRESENT was given, and the PROC_THREAD_ATTRIBUTE_
  // HANDLE_LIST of its attribute list, if it had one.
  bool extended = false;
  std::optional<std::vector<HANDLE>> handle_list;
  // The handles the child inherited: none without bInheritHandles, else
  // the handle list, or without one every inheritable handle.
  std::vector<HANDLE> inherited;
  // Whether the process launch lock (any SRW lock) was held during the call.
  int locks_held = 0;
  // The content label of the image file that was started (see `contents`).
  std::string image;
  // The file the application name reached (file_system_path), spelt as the
  // file table spells it when it is there: for a WoW64 process,
  // C:\Windows\system32\curl.exe reaches C:\Windows\SysWOW64\curl.exe.
  std::u16string image_file;
};

struct CreateFileCall {
  std::u16string path;
  DWORD access, share;
  bool attributes_null;
  DWORD disposition, flags;
  bool template_null;
  HANDLE result = win::INVALID_HANDLE_VALUE;  // what the call returned
};

struct ChildState {
  DWORD exit_code = 0;
  // The virtual time (now_ns) at which it ends on its own; nothing: never.
  std::optional<std::int64_t> ends_at_ns = 0;
  bool terminated = false;
  std::optional<DWORD> wait_error;       // WaitForSingleObject -> WAIT_FAILED
  std::optional<DWORD> wait_result;      // another result (e.g. WAIT_TIMEOUT)
  std::optional<DWORD> exit_code_error;  // GetExitCodeProcess fails
  std::u16string application;
};

struct Timer {
  std::optional<std::int64_t> due;  // last SetWaitableTimer due time
};

// One open of a file in the file table: by the program, through a handle
// (CreateFileW), or by another program (FakeWindows::other_party_*). What
// it may do to the file and what it lets others do at the same time.
struct FileOpen {
  std::u16string path;  // the file table's key
  DWORD access = 0;
  DWORD share = 0;
};

struct Object {
  enum class Kind { Console, Stream, Process, Thread, Timer, File, Other } kind = Kind::Other;
  std::shared_ptr<Console> console;
  std::shared_ptr<ByteStream> stream;
  std::shared_ptr<ChildState> child;
  std::shared_ptr<Timer> timer;
  std::shared_ptr<FileOpen> file;
  std::string label;
};

struct HandleEntry {
  std::shared_ptr<Object> object;
  bool inheritable = false;
};

// How a program that CreateProcessW starts behaves, by application path.
struct Program {
  std::optional<DWORD> start_error{};  // CreateProcessW fails with it
  DWORD exit_code = 0;
  // What it writes to its standard output as it starts: to a pipe's read
  // end, or to whatever stream the handle is (the user's output, say).
  // Nothing is written when its standard output is not a byte stream.
  std::string output{};
  // How long it runs, in virtual milliseconds; kRunsForever: until ended.
  std::int64_t runs_ms = 0;
  // Asked its version (its command line ends in " -V"), as curl is: it
  // writes this as its output and exits 0 at once, and nothing else of the
  // script applies but start_error. A run of `program_runs` is taken as
  // it stands instead.
  std::string version_answer{};
  std::optional<DWORD> wait_error{};
  std::optional<DWORD> exit_code_error{};
  std::function<void(const CreateProcessCall&)> on_start{};  // runs at start
};

inline constexpr std::int64_t kRunsForever = -1;

// Case-insensitive (ASCII) ordering, as Windows compares names.
struct NoCaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};
// Equal but for ASCII case, as Windows compares names.
bool same_no_case(std::u16string_view a, std::u16string_view b);

// ---- Security ---------------------------------------------------------------

// Who may do what to a file or folder, as far as the program's folder of
// its own depends on it. Security identifiers are kept as their SDDL
// abbreviations: SY (SYSTEM), BA (Administrators), BU (Users), AU
// (Authenticated Users), WD (Everyone), CO (CREATOR OWNER, only in
// inheritable entries), and UU for the user's own account.
struct Ace {
  std::string sid;
  DWORD mask = 0;   // FILE_* and standard rights; generic rights are mapped
  DWORD flags = 0;  // kObjectInherit...
  friend bool operator==(const Ace&, const Ace&) = default;
};
inline constexpr DWORD kObjectInherit = 0x1;     // OI: files created inside get it
inline constexpr DWORD kContainerInherit = 0x2;  // CI: folders created inside get it
inline constexpr DWORD kNoPropagate = 0x4;       // NP: only one level down
inline constexpr DWORD kInheritOnly = 0x8;       // IO: not for the object itself

struct Security {
  std::string owner;
  bool dacl_protected = false;  // SE_DACL_PROTECTED: nothing inherited
  std::vector<Ace> aces;
};

// The subset of SDDL that the model reads: an optional "O:<sid>", then
// "D:" with the flags P, AI and AR, then allow entries
// "(A;<flags>;<rights>;;;<sid>)" with the flags OI, CI, NP, IO and ID and
// rights FA, GA, GR, GW, GX, FR, FW, FX or a 0x number. Nothing for any
// other text. Example: D:P(A;OICI;FA;;;SY) -> protected, SYSTEM full
// control, inherited by files and folders.
std::optional<Security> parse_sddl(std::u16string_view text);

// Who acts on the file system: the program (and the children it starts,
// which run with its token), or another program of the same user that runs
// unelevated (the other party).
enum class Actor { Program, OtherParty };

// The folder of a disk path, as the file table spells it: C:\a\b -> C:\a;
// C:\a -> C:\; nothing for a path without a separator.
std::u16string parent_folder(std::u16string_view path);

// Gives a new entry of the file table (its disk path) its security: the
// explicit one given at creation, with what its folder passes on unless
// that is protected; nothing under the user's own folders.
void give_new_entry_security(const std::u16string& key, bool folder, Actor actor, const Security* explicit_security);

// Rights the model checks (FILE_* and standard rights).
inline constexpr DWORD kReadData = 0x1;            // FILE_READ_DATA, FILE_LIST_DIRECTORY
inline constexpr DWORD kAddFile = 0x2;             // FILE_WRITE_DATA, FILE_ADD_FILE
inline constexpr DWORD kAddSubdirectory = 0x4;     // FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY
inline constexpr DWORD kExecuteFile = 0x20;        // FILE_EXECUTE, FILE_TRAVERSE
inline constexpr DWORD kDeleteChild = 0x40;        // FILE_DELETE_CHILD
inline constexpr DWORD kWriteAttributes = 0x100;   // FILE_WRITE_ATTRIBUTES
inline constexpr DWORD kDeleteRight = 0x10000;     // DELETE
inline constexpr DWORD kFileAllAccess = 0x1F01FF;  // FA

// ---- Libraries loaded at run time --------------------------------------------

// A library file as LoadLibraryExW and GetProcAddress see it.
struct Library {
  std::vector<std::string> exports{};  // the functions GetProcAddress finds
  // The file is found but does not load (193: not a valid image).
  std::optional<DWORD> load_error{};
};

// The functions of the system's wintrust.dll and crypt32.dll that the
// signer check looks up; the fake's copies export these.
inline const std::vector<std::string> kWintrustExports = {"WinVerifyTrust", "WTHelperProvDataFromStateData",
                                                          "WTHelperGetProvSignerFromChain"};
inline const std::vector<std::string> kWinHttpExports = {"WinHttpGetIEProxyConfigForCurrentUser", "WinHttpOpen",
                                                         "WinHttpGetProxyForUrl", "WinHttpCloseHandle"};
inline const std::vector<std::string> kCrypt32Exports = {
    "CertVerifyCertificateChainPolicy", "CertGetEnhancedKeyUsage",  "CertVerifyTimeValidity", "CryptHashCertificate2",
    "CertGetCertificateChain",          "CertFreeCertificateChain", "CertGetNameStringW"};

// ---- Authenticode -----------------------------------------------------------

// Times as FILETIME counts (100 ns units since 1601): the "now" of
// CertVerifyTimeValidity, and a day.
inline constexpr std::uint64_t kNow = 133'801'632'000'000'000;  // 2025-01-01 00:00 UTC
inline constexpr std::uint64_t kDay = 864'000'000'000;

// What Windows' revocation check finds for a certificate when it may fetch
// the certificate's CRL or OCSP answer over the network (the fake has
// nothing cached: with revocation limited to the cache, every certificate
// is Offline). The chain shows it in its error bits (CertGetCertificateChain):
enum class Revocation {
  Good,           // no bit
  Revoked,        // since `revoked_at`: CERT_TRUST_IS_REVOKED for a chain judged at or after it
  Offline,        // the server cannot be reached: REVOCATION_STATUS_UNKNOWN | IS_OFFLINE_REVOCATION
  NoInformation,  // no CRL or OCSP address in the certificate: REVOCATION_STATUS_UNKNOWN
};

// One certificate of a signer's chain, as the crypt32 functions see it.
struct Certificate {
  std::u16string name{};  // CertGetNameStringW's simple display name
  // The whole DER certificate, of which CryptHashCertificate2 makes the
  // fingerprint (here any bytes; signed_by gives each certificate its own).
  std::string der{};
  Revocation revocation = Revocation::Good;
  std::uint64_t revoked_at = kNow - 10 * kDay;
  // Enhanced key usage identifiers; with `any_usage` the certificate has no
  // usage restriction at all (no identifiers, last error CRYPT_E_NOT_FOUND).
  std::vector<std::string> usages{win::szOID_PKIX_KP_CODE_SIGNING};
  bool any_usage = false;
  std::optional<DWORD> usage_error{};  // CertGetEnhancedKeyUsage fails
  // The validity period, both ends included: a year either side of kNow.
  std::uint64_t not_before = kNow - 365 * kDay;
  std::uint64_t not_after = kNow + 365 * kDay;
};

// A counter-signature of the signer (a timestamp) as Windows reports it.
struct CounterSigner {
  std::uint64_t time = kNow - 30 * kDay;  // sftVerifyAsOf: the time it states
  DWORD error = 0;                        // dwError: 0 when Windows verified it
  DWORD chain_error_status = 0;           // its chain context's TrustStatus
  bool no_chain = false;                  // no chain context at all
};

// A file's Authenticode signature as WinVerifyTrust and the helpers that
// read its state see it. A file without an entry is unsigned.
struct FileSignature {
  win::LONG verdict = 0;                     // WinVerifyTrust's answer
  std::vector<Certificate> chain{};          // leaf first, root last
  DWORD chain_error_status = 0;              // the chain context's TrustStatus
  DWORD policy_error = 0;                    // CertVerifyCertificateChainPolicy's dwError
  std::optional<DWORD> policy_call_error{};  // the policy call itself fails
  std::vector<CounterSigner> counter_signers{};
  bool no_signer = false;  // WTHelperGetProvSignerFromChain finds none
  // CertGetCertificateChain fails for the signature's certificates.
  std::optional<DWORD> chain_build_error{};
};

// A leaf with this name for code signing, an intermediate "VANT Test Code
// Signing CA" and a root "VANT Test Root", each with the DER bytes
// "certificate of <its name>" (UTF-8).
FileSignature signed_by(std::u16string_view name);
// Makes the certificate one that was valid for a year until yesterday.
void expire(Certificate& certificate);

// What one WinVerifyTrust call was given.
struct TrustCall {
  bool generic_verify_v2 = false;  // the action GUID
  bool window_null = false;
  DWORD data_size = 0;       // WINTRUST_DATA.cbStruct
  DWORD file_info_size = 0;  // WINTRUST_FILE_INFO.cbStruct
  std::u16string path{};
  bool file_handle_null = false;
  HANDLE file_handle = win::NULL_HANDLE;  // WINTRUST_FILE_INFO.hFile
  bool other_fields_null = false;         // callback data, SIP data, subject, URL
  DWORD ui_choice = 0, revocation_checks = 0, union_choice = 0;
  DWORD state_action = 0, provider_flags = 0, ui_context = 0;
  HANDLE state = win::NULL_HANDLE;      // hWVTStateData on entry
  HANDLE state_out = win::NULL_HANDLE;  // and on return
};

struct PolicyCall {
  win::CHAIN_POLICY policy;
  DWORD para_size, para_flags;
  bool para_extra_null;
  DWORD status_size;
};

// What one CertGetCertificateChain call was given, and how long its
// revocation fetches took on the fake's clock.
struct ChainBuild {
  bool current_user_engine = false;
  std::u16string certificate{};         // the name of the certificate the chain is built for
  bool signature_store = false;         // hAdditionalStore: the store of the signature's certificates
  std::optional<std::uint64_t> time{};  // pTime (none: now)
  DWORD para_size = 0;
  DWORD usage_type = 0, usage_count = 0;  // RequestedUsage
  DWORD url_timeout = 0;                  // dwUrlRetrievalTimeout, when para_size covers it
  DWORD flags = 0;
  bool reserved_null = false;
  std::uint64_t revocation_wait_ms = 0;
};

struct TrustState;  // an open verification (fake_trust.cpp)
struct BuiltChain;  // a chain CertGetCertificateChain made (fake_trust.cpp)

class FakeWindows {
 public:
  FakeWindows();

  // ---- Handles
  HANDLE add_console(std::shared_ptr<Console> console, std::string label = "console");
  HANDLE add_stream(std::shared_ptr<ByteStream> stream, std::string label = "stream");
  HANDLE add_object(std::shared_ptr<Object> object, bool inheritable = false);
  bool is_open(HANDLE handle) const;
  std::shared_ptr<Object> object_of(HANDLE handle) const;
  std::vector<HANDLE> open_handles() const;
  std::vector<HANDLE> inheritable_handles() const;
  std::size_t open_handle_count() const { return handles.size(); }

  // The standard handles GetStdHandle gives. INVALID_HANDLE_VALUE comes with
  // `std_handle_error` as the last error.
  HANDLE std_input = win::NULL_HANDLE;
  HANDLE std_output = win::NULL_HANDLE;
  HANDLE std_error = win::NULL_HANDLE;
  DWORD std_handle_error = win::ERROR_INVALID_HANDLE;

  // Convenience set-ups of the standard handles; each returns the objects.
  struct StdStreams {
    std::shared_ptr<ByteStream> input, output, error;
  };
  StdStreams use_byte_streams();  // files or pipes on all three
  struct StdConsole {
    std::shared_ptr<Console> console;  // one console behind all three
  };
  StdConsole use_console(DWORD output_code_page = 936);

  DWORD console_output_cp = 936;

  // ---- The ANSI code page (GetACP, WideCharToMultiByte with CP_ACP)
  // The fake carries no code page tables: it states the code page's number
  // and which UTF-16 units the code page spells, and a test that needs
  // another rule sets its own. use_ansi_code_page gives these rules:
  //   936 (the default, a Chinese Windows): ASCII and the CJK ideographs
  //     U+4E00 to U+9FA5, which GBK holds in full. Simplified: GBK's other
  //     characters (kana, Greek, Cyrillic, pinyin letters, full-width
  //     forms) are not modelled.
  //   1252 (a Western Windows): ASCII and U+00A0 to U+00FF, and without
  //     WC_NO_BEST_FIT_CHARS Windows' look-alikes A a E e for Ā ā Ē ē.
  //     Simplified: the characters of bytes 80 to 9F (the euro sign, curly
  //     quotes) and the rest of the best-fit table are not modelled.
  //   65001 (UTF-8, the "beta" option): the rule is not used; CP_ACP
  //     converts as CP_UTF8 does, with its restrictions.
  //   any other: ASCII only.
  // A surrogate is never spelt: no ANSI code page but UTF-8 has characters
  // outside the BMP.
  void use_ansi_code_page(win::UINT code_page);
  win::UINT ansi_code_page = 936;
  std::function<bool(char16_t unit)> ansi_spells;
  std::map<char16_t, char> ansi_best_fit;  // unit -> its look-alike byte

  // ---- File system and environment
  // The file table is the disk: each file and folder by its full path, as
  // a 64-bit process names it (there is no Sysnative on disk). A test adds
  // and checks paths in that form; add_file and the others normalise what
  // they are given as Windows does (C:/a/b. -> C:\a\b), except a \\?\ path,
  // which is taken as it is without its prefix (\\?\C:\a\b. -> C:\a\b.).
  void add_file(std::u16string_view path);
  void add_directory(std::u16string_view path);
  void remove_path(std::u16string_view path);
  bool exists(std::u16string_view path) const;
  std::map<std::u16string, DWORD, NoCaseLess> files;  // path -> attributes
  // The file table's key for a path on disk, as above.
  std::u16string disk_path(std::u16string_view path) const;
  // What GetFullPathNameW gives for `path`, without a call in the log.
  std::u16string full_path_name(std::u16string_view path) const;
  // The file that `path` reaches when this process hands it to a file
  // function (GetFileAttributesW, CreateFileW, CreateProcessW's application,
  // DeleteFileW, WinVerifyTrust's file path), as the file table's key: the
  // disk path, then, for a 32-bit process on 64-bit Windows (`wow64`), the
  // file-system redirection. Compared without case, on the normalised path
  // (a \\?\ path is redirected too, as measured under Wine 8):
  //   %windir%\System32\...          -> %windir%\SysWOW64\...
  //   %windir%\Sysnative\...         -> %windir%\System32\... (the real one;
  //                                     only a WoW64 process has this alias)
  //   %windir%\lastgood\System32\... -> %windir%\lastgood\SysWOW64\...
  //   %windir%\regedit.exe           -> %windir%\SysWOW64\regedit.exe
  // except System32's catroot, catroot2, driverstore, drivers\etc, logfiles
  // and spool, which are not redirected. Not modelled: a start that raises
  // a UAC prompt (Windows then runs the 64-bit file), 8.3 short names of
  // these folders, and turning redirection off for a thread. Simplified: a
  // path that ends in a separator reaches nothing (Windows finds a folder).
  // Last, junctions (see `junctions`) are followed.
  std::u16string file_system_path(std::u16string_view path) const;
  // The two steps of file_system_path after disk_path.
  std::u16string redirected(std::u16string disk_path) const;
  std::u16string follow_junctions(std::u16string path) const;

  std::u16string current_directory = u"C:\\work";
  std::u16string module_file_name = u"C:\\Program Files\\VANT\\vant-setup.exe";
  // GetSystemDirectoryW's answer. A 32-bit process on 64-bit Windows gets
  // the same C:\Windows\system32; only its file accesses there are redirected.
  std::u16string system_directory = u"C:\\Windows\\system32";
  std::u16string windows_directory = u"C:\\Windows";
  // IsWow64Process: a 32-bit process on 64-bit Windows, whose file accesses
  // are redirected (file_system_path); when set, the query fails with this
  // code instead (the redirection still applies).
  bool wow64 = false;
  std::optional<DWORD> wow64_error;
  std::map<std::u16string, std::u16string, NoCaseLess> environment;
  // GetEnvironmentStringsW hands out `environment` as "name=value" strings
  // in its order (which, unlike Windows', puts '_' before letters), or,
  // when set, exactly these units (each string with its NUL, then one
  // more). The blocks handed out and not freed yet, by address; addresses
  // FreeEnvironmentStringsW was given that were not one of them.
  std::optional<std::u16string> environment_strings;
  std::optional<DWORD> environment_strings_error;  // the call fails (null)
  std::map<std::uintptr_t, std::unique_ptr<std::u16string>> environment_blocks;
  std::vector<std::uintptr_t> bad_environment_frees;
  std::u16string temp_path = u"C:\\Users\\user\\AppData\\Local\\Temp\\";
  // Set to offer GetTempPath2W (through GetProcAddress) with this answer.
  std::optional<std::u16string> temp_path2;
  bool kernel32_loaded = true;
  bool ntdll_loaded = true;

  // ---- Tokens and security
  // The program's token: TokenElevation's answer. The program and its
  // children act with Administrators enabled when elevated, else with it
  // only for denying (as the other party always does).
  bool elevated = false;
  std::optional<DWORD> open_token_error;         // OpenProcessToken fails
  std::optional<DWORD> token_information_error;  // GetTokenInformation fails
  // GetSystemWindowsDirectoryW's answer (the shared Windows folder).
  std::u16string system_windows_directory = u"C:\\Windows";
  std::function<win::UINT(char16_t*, win::UINT)> on_GetSystemWindowsDirectoryW;

  // The DACLs of the paths that have one of their own, by disk path. Any
  // other path gets what it would inherit from the nearest of these above
  // it (simplified: as if it were that folder's direct child); a path with
  // none above it belongs to the user (the profile): everyone the model
  // knows has full control there. By default C:\Windows and C:\Windows\Temp
  // have Windows' own: in Temp, Users may create files and folders (CI,
  // so also in every folder made there that inherits), and CREATOR OWNER
  // gets full control of what is made there.
  // Simplified: allow entries only, no privileges, no integrity levels; an
  // owner's implicit rights are not modelled; the program's own accesses
  // are checked only where it creates a folder or opens a file, and its
  // children's where they write a file (child_writes_file).
  std::map<std::u16string, Security, NoCaseLess> security;
  // The security a path has now (its own, or the one inherited as above).
  Security security_of(std::u16string_view disk_path) const;
  // Whether `actor` has every right of `access` on the path; a deletion
  // needs DELETE on the path or FILE_DELETE_CHILD on its folder.
  bool may(Actor actor, std::u16string_view disk_path, DWORD access) const;
  bool may_delete(Actor actor, std::u16string_view disk_path) const;
  // A child of the program (curl) writing a file, creating it if needed:
  // 0, or the error that child would get.
  DWORD child_writes_file(std::u16string_view path, std::string content);

  // Descriptors ConvertStringSecurityDescriptorToSecurityDescriptorW
  // handed out and LocalFree has not freed yet, by address; and the
  // addresses LocalFree was given that were not one of them.
  std::map<std::uintptr_t, Security> descriptors;
  std::vector<std::uintptr_t> bad_frees;
  std::optional<DWORD> descriptor_error;  // the conversion fails
  // What each CreateDirectoryW was given; `security` is the parsed
  // descriptor of its security attributes, if it had one.
  struct DirectoryCall {
    std::u16string path;
    bool attributes_null = true;
    DWORD attributes_length = 0;
    BOOL inherit_handle = 0;
    std::optional<Security> security;
    DWORD result = 0;  // 0 or the error it failed with
  };
  std::vector<DirectoryCall> directory_calls;
  // CreateDirectoryW fails with this before doing anything (per call,
  // popped front; when empty the model answers).
  std::deque<DWORD> directory_errors;
  // Junction-like redirections made by the other party: a folder's path
  // and where it leads, both disk paths. The program's file functions
  // follow them (file_system_path).
  std::map<std::u16string, std::u16string, NoCaseLess> junctions;

  // ---- The system's random generator (BCryptGenRandom in bcrypt.dll)
  // Bytes for the next calls, one entry per call (popped front; its size
  // must be what the call asks for). Without one the bytes come from a
  // counter, so every call gives new bytes.
  std::deque<std::vector<std::uint8_t>> random_answers;
  std::uint64_t random_counter = 0x5EED;
  std::optional<NTSTATUS> random_status;  // the call fails with it
  std::size_t random_calls = 0;

  // ---- Libraries (SetDefaultDllDirectories, LoadLibraryExW, GetProcAddress)
  // Library files by path; a file of the file table too. By default the
  // system folder holds wintrust.dll and crypt32.dll (kWintrustExports,
  // kCrypt32Exports).
  void add_library(std::u16string_view path, Library library);
  std::map<std::u16string, Library, NoCaseLess> libraries;
  // The search set by SetDefaultDllDirectories (none: the standard order).
  std::optional<DWORD> default_dll_directories;
  std::optional<DWORD> default_dll_directories_error;  // the call fails
  // Every LoadLibraryExW call, and the path it loaded (empty: it failed).
  struct LoadCall {
    std::u16string name;
    bool file_null;
    DWORD flags;
    std::u16string loaded;
  };
  std::vector<LoadCall> loads;
  // Loaded libraries by module handle; procedures GetProcAddress handed
  // out, by address.
  std::map<std::uintptr_t, std::u16string> loaded_libraries;
  struct Procedure {
    std::u16string library;  // its path
    std::string name;
  };
  std::map<std::uintptr_t, Procedure> procedures;
  // Calls through a function of a library loaded from anywhere but the
  // system folder, "<path>!<name>": code the fake cannot know, answered as
  // a failure.
  std::vector<std::string> foreign_calls;

  // ---- Message tables (FormatMessageW)
  std::map<DWORD, std::u16string> system_messages;
  std::map<DWORD, std::u16string> ntdll_messages;
  struct FormatCall {
    DWORD flags;
    win::HMODULE source;
    DWORD message_id;
    DWORD language;
    DWORD size;
    bool arguments_null;
    bool buffer_zeroed;  // every unit of the buffer was 0 on entry
  };
  std::vector<FormatCall> format_calls;

  // ---- Processes
  // Scripted programs, by the file on disk a start reaches (see
  // file_system_path), in the file table's form.
  std::map<std::u16string, Program, NoCaseLess> programs;
  // Scripted runs, one per start (popped front), by the same key; used
  // before `programs`, which answers once none is left.
  std::map<std::u16string, std::deque<Program>, NoCaseLess> program_runs;
  // Every TerminateProcess: the process's application and the code.
  std::vector<std::pair<std::u16string, win::UINT>> terminations;
  // Every CreatePipe's size, and whether it had no security attributes.
  struct PipeCall {
    DWORD size;
    bool attributes_null;
  };
  std::vector<PipeCall> pipe_calls;
  std::optional<DWORD> pipe_error;  // CreatePipe fails with it

  // ---- Threads (CreateThread)
  // Simplified: a new thread runs its routine to the end at once, on the
  // caller's thread; the virtual time it took (what the seam calls made in
  // it advanced the clock by) is then put back, and becomes the thread's
  // run time, which a wait on its handle sees (WaitForSingleObject).
  std::optional<DWORD> thread_error;  // CreateThread fails with it
  std::size_t threads_created = 0;

  // ---- WinHTTP (winhttp.dll in the system folder, kWinHttpExports)
  // The user's setting, as WinHttpGetIEProxyConfigForCurrentUser gives it
  // (absent texts are null).
  struct InternetSettings {
    bool auto_detect = false;
    std::optional<std::u16string> script;  // lpszAutoConfigUrl
    std::optional<std::u16string> proxy;
    std::optional<std::u16string> bypass;
    std::optional<DWORD> error;  // the call fails with it
    std::int64_t cost_ms = 0;    // virtual time the call takes
  };
  InternetSettings internet_settings;
  // WinHttpGetProxyForUrl's answer, whatever it is asked.
  struct ProxyAnswer {
    std::optional<DWORD> error;  // the call fails with it (12180: nothing detected)
    DWORD access_type = win::WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    std::optional<std::u16string> proxy;
    std::optional<std::u16string> bypass;
    std::int64_t cost_ms = 0;
  };
  ProxyAnswer proxy_answer;
  struct ProxyForUrlCall {
    std::u16string url;
    DWORD flags = 0;
    DWORD detect_flags = 0;
    std::optional<std::u16string> script;
    BOOL auto_logon = 0;
    bool session_open = false;  // the session handle was one WinHttpOpen gave and not yet closed
  };
  std::vector<ProxyForUrlCall> proxy_for_url_calls;
  std::optional<DWORD> winhttp_open_error;           // WinHttpOpen fails
  std::map<std::uintptr_t, DWORD> winhttp_sessions;  // open sessions, with their access type
  std::uintptr_t next_session = 0xB000;
  // Texts WinHTTP allocated for the program and GlobalFree has not freed;
  // addresses GlobalFree was given that were none of them.
  std::map<std::uintptr_t, std::u16string> global_texts;
  std::vector<std::uintptr_t> bad_global_frees;
  std::vector<CreateProcessCall> created;
  std::vector<HANDLE> closed;  // every handle CloseHandle closed, in order
  // Attribute lists initialised and not deleted yet, by address, with the
  // handle list set on each (Windows keeps the pointer and reads the
  // handles in CreateProcessW). Initialising one needs `attribute_list_size`
  // bytes; a list too small, a second initialisation, an update of an
  // unknown list or with another attribute fail with the codes Windows
  // gives. CreateProcessW refuses (ERROR_INVALID_PARAMETER) an extended
  // start whose cb is not STARTUPINFOEXW's or whose list is not live, and a
  // handle list with a NULL or INVALID_HANDLE_VALUE, a handle listed twice,
  // one that is not open and inheritable, or one given without
  // bInheritHandles.
  struct AttributeList {
    const HANDLE* handles = nullptr;
    std::size_t handles_size = 0;  // bytes
  };
  std::map<std::uintptr_t, AttributeList> attribute_lists;
  std::size_t attribute_list_size = 48;
  std::size_t attribute_lists_deleted = 0;
  std::optional<DWORD> attribute_update_error;  // UpdateProcThreadAttribute fails
  // When set, CloseHandle leaves this last error even when it succeeds
  // (Windows does not promise to keep the last error across a successful
  // call), to show that a caller read its error before closing anything.
  std::optional<DWORD> close_sets_last_error;
  struct DuplicateCall {
    HANDLE source_process, source, target_process;
    DWORD access;
    BOOL inherit;
    DWORD options;
  };
  std::vector<DuplicateCall> duplicates;
  // DuplicateHandle call number `duplicate_fail_at` (0-based) fails with
  // `duplicate_fail_error`.
  std::optional<std::size_t> duplicate_fail_at;
  DWORD duplicate_fail_error = win::ERROR_INVALID_HANDLE;
  HANDLE current_process = static_cast<HANDLE>(static_cast<std::uintptr_t>(-1));

  // ---- Time
  std::int64_t now_ns = 5'000'000'000'000;  // virtual monotonic clock
  std::int64_t qpc_frequency = 10'000'000;
  std::optional<DWORD> qpf_error;  // QueryPerformanceFrequency fails
  std::optional<DWORD> qpc_error;  // QueryPerformanceCounter fails
  bool timer_create_fails = false;
  std::optional<DWORD> timer_set_error;
  std::optional<DWORD> timer_wait_error;
  struct TimerCreate {
    DWORD flags;
    DWORD access;
    bool attributes_null;
    bool name_null;
  };
  std::vector<TimerCreate> timer_creates;
  struct TimerSet {
    std::int64_t due;
    std::int32_t period;
    bool routine_null;
    BOOL resume;
  };
  std::vector<TimerSet> timer_sets;
  std::vector<DWORD> sleeps;
  // How far the clock moves in a Sleep(ms); the default is exactly ms.
  std::function<std::int64_t(DWORD ms)> sleep_advance_ns;
  std::vector<DWORD> exits;

  // ---- Locks
  int locks_held = 0;  // SRW locks currently held (all threads)

  // ---- Open files and sharing
  // Windows checks every new open of a file against the opens already
  // there: each must allow the other's kind of access (reading, writing,
  // deleting; a rename or a replacement deletes the name it takes away).
  // CreateFileW, DeleteFileW and CreateProcessW's own open of the image
  // take part, as do the other party's operations below.
  // Simplified: access is reduced to those three kinds; a deletion takes
  // effect at once (Windows may keep the name until the last handle closes).
  std::vector<CreateFileCall> create_file_calls;
  // What is in each file, as a label a test chooses ("genuine", "planted");
  // a rename or replacement moves it with the file, a write changes it.
  std::map<std::u16string, std::string, NoCaseLess> contents;
  // Opens held by another program of the same user.
  std::vector<FileOpen> other_party_opens;
  // Each other-party operation needs the rights the security model gives
  // it (ERROR_ACCESS_DENIED otherwise) as well as the sharing above.
  // ERROR_SHARING_VIOLATION if an open of `file` (the file table's key)
  // with this access and share mode would conflict with an open already
  // there, else 0.
  DWORD sharing_conflict(std::u16string_view file, DWORD access, DWORD share) const;
  // Another program acting on the file system, as the same user, on paths
  // on disk (a 64-bit program: no redirection). Each returns 0 or the
  // Windows error that program would get, and logs nothing. A write or a
  // replacement drops the old file's signature.
  DWORD other_party_holds(std::u16string_view path, DWORD access, DWORD share);
  void other_party_lets_go() { other_party_opens.clear(); }
  DWORD other_party_writes(std::u16string_view path, std::string content);
  DWORD other_party_deletes(std::u16string_view path);
  DWORD other_party_renames(std::u16string_view from, std::u16string_view to);     // MoveFileExW, no replace
  DWORD other_party_replaces(std::u16string_view path, std::u16string_view from);  // MOVEFILE_REPLACE_EXISTING
  DWORD other_party_creates(std::u16string_view path, std::string content);        // a new file (CREATE_NEW)
  DWORD other_party_creates_folder(std::u16string_view path);
  // Turns the folder at `path` into a junction to `target` (it must be
  // empty, and the other party needs FILE_WRITE_ATTRIBUTES on it), or
  // creates one there if nothing is there yet.
  DWORD other_party_redirects(std::u16string_view path, std::u16string_view target);
  // Whether a call is a function of `library` (a file name) in the system
  // folder that GetProcAddress handed out; an address of the same function
  // in a copy from anywhere else is recorded in `foreign_calls` and the
  // caller answers it as a failure. Throws for an address of another
  // function.
  bool is_system_function(win::FARPROC proc, std::u16string_view library, std::string_view function);

  // ---- Authenticode and deleting files
  std::map<std::u16string, FileSignature, NoCaseLess> signatures;  // by disk path
  std::vector<TrustCall> trust_calls;
  std::vector<PolicyCall> policy_calls;
  // The time each CertVerifyTimeValidity call asked about was "now" (null),
  // and that time (kNow for null).
  std::vector<bool> time_checks_now;
  std::vector<std::uint64_t> time_checks_at;
  std::vector<std::u16string> delete_requests;                // every DeleteFileW path
  std::map<std::u16string, DWORD, NoCaseLess> delete_errors;  // DeleteFileW fails, by disk path
  // Verify states not closed yet, by their hWVTStateData value.
  std::map<std::uintptr_t, std::shared_ptr<TrustState>> trust_states;
  std::uintptr_t next_trust_state = 0xA000;
  // Every CertGetCertificateChain call; the chains not freed yet.
  std::vector<ChainBuild> chain_builds;
  std::map<const win::CERT_CHAIN_CONTEXT*, std::shared_ptr<BuiltChain>> open_chains;
  // CryptHashCertificate2 fails with this error.
  std::optional<DWORD> hash_error;
  std::size_t hash_calls = 0;

  // ---- Call log: one entry per seam call, "Name" or "Name(detail)".
  std::vector<std::string> calls;
  std::size_t count_calls(std::string_view name) const;
  // Logs a call, then runs `on_call` with its entry: a test can act there,
  // at every seam call, before the call does anything.
  void record_call(std::string entry);
  std::function<void(const std::string& entry)> on_call;

  // ---- Hooks: when set, replace the model for that function. They may set
  // the last error with win::SetLastError.
  std::function<HANDLE(DWORD)> on_GetStdHandle;
  std::function<DWORD(DWORD, char16_t*)> on_GetTempPathW;
  std::function<DWORD(DWORD, char16_t*)> on_GetTempPath2W;
  std::function<DWORD(char16_t*, DWORD)> on_GetModuleFileNameW;
  std::function<win::UINT(char16_t*, win::UINT)> on_GetSystemDirectoryW;
  std::function<win::UINT(char16_t*, win::UINT)> on_GetWindowsDirectoryW;
  std::function<DWORD(const char16_t*, char16_t*, DWORD)> on_GetEnvironmentVariableW;
  std::function<DWORD(const char16_t*, DWORD, char16_t*)> on_GetFullPathNameW;
  std::function<DWORD(const char16_t*)> on_GetFileAttributesW;
  std::function<DWORD(DWORD flags, win::HMODULE, DWORD id, char16_t*, DWORD size)> on_FormatMessageW;
  std::function<int(const char*, int, char16_t*, int)> on_MultiByteToWideChar;
  std::function<int(const char16_t*, int, char*, int)> on_WideCharToMultiByte;
  std::function<bool(std::int64_t*)> on_QueryPerformanceCounter;

  // Last error of the calling thread.
  DWORD& last_error();

  // Internal to the fake's implementation.
  void add_to_disk(std::u16string_view path, DWORD attributes);
  std::map<std::uintptr_t, HandleEntry> handles;
  std::uintptr_t next_handle = 0x100;
  struct PendingIo {
    win::IO_STATUS_BLOCK* block;
    NTSTATUS status;
    std::uintptr_t information;
    bool still_pending;
  };
  std::map<std::uintptr_t, PendingIo> pending_io;  // by file handle
  std::size_t duplicate_count = 0;
};

// The one fake of this test process.
FakeWindows& world();
// Back to the defaults: no standard handles, the default paths and
// messages, an empty log.
void reset();

// Seam calls of the current thread that have not returned yet. A test that
// counts the program's own heap allocations leaves out those made while this
// is above 0: the fake's records and call log allocate.
int& seam_depth();
class SeamScope {
 public:
  SeamScope() { ++seam_depth(); }
  ~SeamScope() { --seam_depth(); }
  SeamScope(const SeamScope&) = delete;
  SeamScope& operator=(const SeamScope&) = delete;
};

// Text helpers for assertions.
std::u16string u16(std::string_view utf8);
std::string utf8(std::u16string_view units);  // lone surrogates as U+FFFD

}  // namespace fake
