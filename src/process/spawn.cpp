#include "process/spawn.h"

#include <optional>
#include <string>
#include <utility>

#include "paths/windows_path.h"
#include "platform/lock.h"
#include "platform/win_api.h"
#include "process/command_line.h"
#include "process/inherit_std_handle.h"
#include "process/inherited_handles.h"
#include "process/launch_lock.h"
#include "process/lookup.h"
#include "process/name_ending.h"

namespace vant {
namespace {

// Refuses an application that Windows would run through cmd.exe. The name
// is checked in its full form, as Windows sees it; a verbatim or NT path is
// already in that form.
std::expected<void, SystemError> refuse_batch_script(const WideText& application) {
  if (application.starts_with(u"\\\\?\\") || application.starts_with(u"\\??\\")) {
    if (is_batch_script_name(application)) return std::unexpected(errors::batch_script_refused);
    return {};
  }
  auto full = full_path_name(application);
  if (!full) return std::unexpected(full.error());
  if (is_batch_script_name(*full)) return std::unexpected(errors::batch_script_refused);
  return {};
}

// Creates the child while the launch lock is held, with inheritable
// duplicates of the standard handles that are closed again right after.
std::expected<ChildProcess, SystemError> create_child(const WideText& application, std::u16string& command_line,
                                                      const char16_t* folder, void* environment,
                                                      win::HANDLE piped_output) {
  const LockGuard<Mutex> launch(process_launch_lock);

  // A child whose output is piped gets only the pipe: no console input to
  // read, no error stream to show anything on.
  using Inherited = std::expected<OwnedHandle, SystemError>;
  const bool piped = piped_output != win::NULL_HANDLE;
  auto input = piped ? Inherited() : inherit_std_handle(win::STD_INPUT_HANDLE);
  if (!input) return std::unexpected(input.error());
  auto output = piped ? inheritable_duplicate(piped_output) : inherit_std_handle(win::STD_OUTPUT_HANDLE);
  if (!output) return std::unexpected(output.error());
  auto error = piped ? Inherited() : inherit_std_handle(win::STD_ERROR_HANDLE);
  if (!error) return std::unexpected(error.error());

  win::STARTUPINFOEXW extended{};
  win::STARTUPINFOW& startup = extended.StartupInfo;
  // With no handle at all Windows applies its own defaults; with at least
  // one, a missing one stays NULL in the child.
  if (*input || *output || *error) {
    startup.dwFlags = win::STARTF_USESTDHANDLES;
    startup.hStdInput = input->get();
    startup.hStdOutput = output->get();
    startup.hStdError = error->get();
  }
  // The child inherits exactly the handles placed above, and nothing when
  // there are none.
  InheritedHandles inherited;
  const auto inherits = inherited.attach(extended);
  if (!inherits) return std::unexpected(inherits.error());
  startup.cb = *inherits ? sizeof(win::STARTUPINFOEXW) : sizeof(win::STARTUPINFOW);

  win::PROCESS_INFORMATION info{};
  const bool created =
      win::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, *inherits ? 1 : 0,
                          win::CREATE_UNICODE_ENVIRONMENT | (*inherits ? win::EXTENDED_STARTUPINFO_PRESENT : 0),
                          environment, /*lpCurrentDirectory=*/folder, &startup, &info) != 0;
  // Read before the duplicates are closed, which may change it.
  std::optional<SystemError> failure;
  if (!created) failure = SystemError::from_last_error();

  // The child holds its own inherited copies now; error, output, input.
  error->reset();
  output->reset();
  input->reset();

  if (failure) return std::unexpected(*failure);
  ChildProcess child;
  child.process_handle = OwnedHandle(info.hProcess);
  child.thread_handle = OwnedHandle(info.hThread);
  return child;
}

}  // namespace

std::expected<ChildProcess, SystemError> spawn_process(const ProcessCommand& command) {
  const auto application = resolve_program(command.program().bytes(), command.search());
  if (!application) return std::unexpected(application.error());
  if (auto allowed = refuse_batch_script(*application); !allowed) return std::unexpected(allowed.error());

  auto command_line = build_command_line(command.program().bytes(), command.args());
  if (!command_line) return std::unexpected(command_line.error());
  // CreateProcessW wants a writable, NUL-terminated buffer.
  command_line->push_back(u'\0');

  // Without a folder of its own the child inherits this process's (null).
  const auto folder = to_wide_text(command.folder().bytes());
  if (!folder) return std::unexpected(folder.error());
  // Without changes the child inherits this process's environment (null).
  std::u16string environment;
  if (!command.variables().empty()) {
    auto block = build_environment_block(command.variables());
    if (!block) return std::unexpected(block.error());
    environment = std::move(*block);
  }
  return create_child(*application, *command_line, folder->empty() ? nullptr : folder->c_str(),
                      environment.empty() ? nullptr : environment.data(), command.output());
}

std::expected<std::uint32_t, SystemError> wait_for_exit(ChildProcess& child) {
  if (win::WaitForSingleObject(child.process_handle.get(), win::INFINITE) != win::WAIT_OBJECT_0) {
    return std::unexpected(SystemError::from_last_error());
  }
  win::DWORD code = 0;
  if (!win::GetExitCodeProcess(child.process_handle.get(), &code)) {
    return std::unexpected(SystemError::from_last_error());
  }
  return code;
}

std::expected<std::optional<std::uint32_t>, SystemError> wait_for_exit_within(ChildProcess& child,
                                                                              win::DWORD milliseconds) {
  const win::DWORD waited = win::WaitForSingleObject(child.process_handle.get(), milliseconds);
  if (waited == win::WAIT_TIMEOUT) return std::nullopt;
  if (waited != win::WAIT_OBJECT_0) return std::unexpected(SystemError::from_last_error());
  win::DWORD code = 0;
  if (!win::GetExitCodeProcess(child.process_handle.get(), &code)) {
    return std::unexpected(SystemError::from_last_error());
  }
  return code;
}

void end_child(ChildProcess& child, win::UINT exit_code) {
  // A child that has just ended on its own refuses it; nothing to do then.
  (void)win::TerminateProcess(child.process_handle.get(), exit_code);
}

void release_child_handles(ChildProcess&& child) {
  child.process_handle.reset();
  child.thread_handle.reset();
}

}  // namespace vant
