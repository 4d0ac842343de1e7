// Starts a program the way the tests need to and Wine otherwise cannot:
// with an exact environment block (Wine replaces TMP, TEMP and PATH of
// anything started from Linux), exact standard handles, an optional current
// folder, and the full 32-bit exit code afterwards. Used in-process by the
// integration tests and from scripts through the launcher program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vant_test {

// One standard handle of the child.
struct StdStream {
  enum class Kind { Inherit, None, Nul, File, Pipe };
  Kind kind = Kind::Inherit;
  std::wstring path;       // File: read from (input) or created afresh (output)
  std::string bytes;       // Pipe (standard input only): written in before the start
  bool keep_open = false;  // Pipe: the writer stays open until the child ends

  static StdStream inherit() { return {}; }                        // a duplicate of this process's own
  static StdStream none() { return {Kind::None, {}, {}, false}; }  // NULL in STARTUPINFO
  static StdStream nul() { return {Kind::Nul, {}, {}, false}; }
  static StdStream file(std::wstring path) { return {Kind::File, std::move(path), {}, false}; }
  static StdStream pipe(std::string bytes, bool keep_open) { return {Kind::Pipe, {}, std::move(bytes), keep_open}; }
};

struct LaunchRequest {
  std::wstring application;               // lpApplicationName, an exact path
  std::wstring command_line;              // empty: the application in quotes
  std::vector<std::wstring> environment;  // NAME=VALUE entries, exactly these
  bool keep_environment = false;          // start from this process's own block
  StdStream std_in, std_out, std_err;
  std::wstring current_folder;            // empty: this process's
  DWORD timeout_ms = 60000;               // then the child is ended (a hang)
  std::optional<UINT> console_output_cp;  // set on the shared console first
  bool sample_memory = false;             // watch the child's private bytes while it runs
  // Start the child with this process's linked token: under Wine every
  // process is elevated, and one started this way is not (an administrator's
  // unelevated run on Windows).
  bool limited_token = false;
};

struct LaunchResult {
  bool started = false;
  DWORD error = 0;          // Windows code of the step that failed
  std::string failed_step;  // empty when started
  DWORD pid = 0;
  DWORD exit_code = 0;  // all 32 bits, from GetExitCodeProcess
  bool timed_out = false;
  // 100 ns ticks since 1601, comparable across processes.
  std::uint64_t start_ticks = 0;     // just before CreateProcessW
  std::uint64_t creation_ticks = 0;  // the child's, from GetProcessTimes
  std::uint64_t exit_ticks = 0;      // the child's, from GetProcessTimes
  std::uint64_t waited_ticks = 0;    // when the wait returned
  double elapsed_ms = 0;
  // With sample_memory: the most private bytes the child was seen to hold
  // (PagefileUsage, sampled every 10 ms) and its own peak as last read.
  std::uint64_t most_private_bytes = 0;
  std::uint64_t peak_private_bytes = 0;
  int memory_samples = 0;
};

LaunchResult launch(const LaunchRequest& request);

// The report the launcher prints: one "key=value" line per field.
std::string report_text(const LaunchResult& result);

// Makes this process's own standard handles non-inheritable, so that a child
// inherits exactly the handles a launch hands it and nothing of ours (the
// test runner's pipes, in particular, which would otherwise stay open for as
// long as any descendant lives).
void keep_own_std_handles_private();

// Quotes one argument by the rules CommandLineToArgvW undoes.
//   say "hi"  ->  "say \"hi\""      C:\a b\  ->  "C:\a b\\"
std::wstring quote_argument(std::wstring_view argument);

}  // namespace vant_test
