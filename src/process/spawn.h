// Starting child processes that share this process's console and standard
// handles, and waiting for them.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "paths/path_text.h"
#include "platform/handle.h"
#include "platform/system_error.h"
#include "process/environment_block.h"
#include "process/lookup.h"

namespace vant {

// What to start: a program (a bare name such as "curl", or a path), where a
// bare name is looked for, its arguments and, where a child must not
// inherit them, its current folder and changes to its environment. Every
// child gets this process's standard handles unless its output goes to a
// pipe.
class ProcessCommand {
 public:
  explicit ProcessCommand(PathText program) : program_(std::move(program)) {}
  explicit ProcessCommand(std::string_view program) : program_(PathText::from_utf8(program)) {}

  ProcessCommand& arg(PathText argument) {
    args_.push_back(std::move(argument));
    return *this;
  }
  ProcessCommand& arg(std::string_view argument) { return arg(PathText::from_utf8(argument)); }
  ProcessCommand& search(ProgramSearch search) {
    search_ = search;
    return *this;
  }
  // The child starts in exactly this folder instead of this process's.
  ProcessCommand& in_folder(const PathText& folder) {
    folder_ = folder;
    return *this;
  }

  // The child gets the variable `name` with `value`, in place of one of the
  // same name in any case (Windows compares names without case).
  ProcessCommand& set_variable(std::string_view name, PathText value) {
    variables_.push_back({std::string(name), std::move(value)});
    return *this;
  }
  // The child does not get the variable `name`, in any case.
  ProcessCommand& remove_variable(std::string_view name) {
    variables_.push_back({std::string(name), std::nullopt});
    return *this;
  }

  // The child's standard output goes to `handle` (the write end of a pipe,
  // which stays the caller's); it gets no standard input and no error
  // stream, so it can neither read the console nor show anything there.
  ProcessCommand& output_to(win::HANDLE handle) {
    output_ = handle;
    return *this;
  }

  const PathText& program() const { return program_; }
  const std::vector<PathText>& args() const { return args_; }
  ProgramSearch search() const { return search_; }
  // Empty: the child inherits this process's current folder.
  const PathText& folder() const { return folder_; }
  // In the order given; none: the child gets this process's environment.
  const std::vector<VariableChange>& variables() const { return variables_; }
  // NULL_HANDLE: the standard handles are inherited.
  win::HANDLE output() const { return output_; }

 private:
  PathText program_;
  ProgramSearch search_ = ProgramSearch::Everywhere;
  std::vector<PathText> args_;
  PathText folder_;
  std::vector<VariableChange> variables_;
  win::HANDLE output_ = win::NULL_HANDLE;
};

// A started child: the handles CreateProcessW gave.
struct ChildProcess {
  OwnedHandle process_handle;
  OwnedHandle thread_handle;
};

// Starts the program that resolve_program finds, with the command line of
// build_command_line (the program text as given, then the arguments), the
// console of this process, its environment (with the command's changes,
// build_environment_block, if it has any), its current folder unless the
// command names one (passed as its exact units), and inheritable duplicates
// of its standard handles. Never waits. Fails without starting anything for
// the errors of the lookup and the command line, for a batch script ("batch
// scripts cannot be started"), for a folder with a NUL, for the errors of
// build_environment_block, and with the Windows
// code of a failed DuplicateHandle or CreateProcessW (267 for a folder that
// does not exist or is too long to be a current folder).
std::expected<ChildProcess, SystemError> spawn_process(const ProcessCommand& command);

// Waits without a time limit; returns the exit code with all 32 bits.
std::expected<std::uint32_t, SystemError> wait_for_exit(ChildProcess& child);

// Waits at most `milliseconds`: the exit code, or nothing when the child is
// still running then.
std::expected<std::optional<std::uint32_t>, SystemError> wait_for_exit_within(ChildProcess& child,
                                                                              win::DWORD milliseconds);

// Ends a child that is still running (TerminateProcess with `exit_code`);
// does not wait for the end.
void end_child(ChildProcess& child, win::UINT exit_code);

// Closes the process handle, then the thread handle. This ends nothing:
// the child keeps running.
void release_child_handles(ChildProcess&& child);

}  // namespace vant
