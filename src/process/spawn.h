// Starting child processes that share this process's console and standard
// handles, and waiting for them.
#pragma once

#include <cstdint>
#include <expected>
#include <string_view>
#include <utility>
#include <vector>

#include "paths/path_text.h"
#include "platform/handle.h"
#include "platform/system_error.h"
#include "process/lookup.h"

namespace vant {

// What to start: a program (a bare name such as "curl", or a path), where a
// bare name is looked for, its arguments and, where a child must not
// inherit it, its current folder. Every child inherits the environment and
// the standard handles.
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

  const PathText& program() const { return program_; }
  const std::vector<PathText>& args() const { return args_; }
  ProgramSearch search() const { return search_; }
  // Empty: the child inherits this process's current folder.
  const PathText& folder() const { return folder_; }

 private:
  PathText program_;
  ProgramSearch search_ = ProgramSearch::Everywhere;
  std::vector<PathText> args_;
  PathText folder_;
};

// A started child: the handles CreateProcessW gave.
struct ChildProcess {
  OwnedHandle process_handle;
  OwnedHandle thread_handle;
};

// Starts the program that resolve_program finds, with the command line of
// build_command_line (the program text as given, then the arguments), the
// console and environment of this process, its current folder unless the
// command names one (passed as its exact units), and inheritable duplicates
// of its standard handles. Never waits. Fails without starting anything for
// the errors of the lookup and the command line, for a batch script ("batch
// scripts cannot be started"), for a folder with a NUL, and with the Windows
// code of a failed DuplicateHandle or CreateProcessW (267 for a folder that
// does not exist or is too long to be a current folder).
std::expected<ChildProcess, SystemError> spawn_process(const ProcessCommand& command);

// Waits without a time limit; returns the exit code with all 32 bits.
std::expected<std::uint32_t, SystemError> wait_for_exit(ChildProcess& child);

// Closes the process handle, then the thread handle. This ends nothing:
// the child keeps running.
void release_child_handles(ChildProcess&& child);

}  // namespace vant
