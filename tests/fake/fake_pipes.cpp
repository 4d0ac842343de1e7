// The model of anonymous pipes, reading them, ending a process, and
// threads.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "fake_windows.h"

namespace win {

using fake::world;

namespace {
void log(std::string entry) { world().record_call(std::move(entry)); }
}  // namespace

BOOL CreatePipe(HANDLE* hReadPipe, HANDLE* hWritePipe, const SECURITY_ATTRIBUTES* lpPipeAttributes, DWORD nSize) {
  auto& w = world();
  log("CreatePipe(" + std::to_string(nSize) + ")");
  w.pipe_calls.push_back({nSize, lpPipeAttributes == nullptr});
  if (w.pipe_error) {
    w.last_error() = *w.pipe_error;
    return 0;
  }
  // Both ends share one stream; a read of what is not there yet ends as a
  // broken pipe does (see ReadFile).
  auto stream = std::make_shared<fake::ByteStream>();
  stream->pipe = true;
  stream->end_status = STATUS_PIPE_BROKEN;
  const bool inheritable = lpPipeAttributes != nullptr && lpPipeAttributes->bInheritHandle != 0;
  auto read_end = std::make_shared<fake::Object>();
  read_end->kind = fake::Object::Kind::Stream;
  read_end->stream = stream;
  read_end->label = "pipe read end";
  auto write_end = std::make_shared<fake::Object>(*read_end);
  write_end->label = "pipe write end";
  *hReadPipe = w.add_object(read_end, inheritable);
  *hWritePipe = w.add_object(write_end, inheritable);
  return 1;
}

BOOL PeekNamedPipe(HANDLE hNamedPipe, void* lpBuffer, DWORD nBufferSize, DWORD* lpBytesRead, DWORD* lpTotalBytesAvail,
                   DWORD* lpBytesLeftThisMessage) {
  auto& w = world();
  log("PeekNamedPipe");
  const auto object = w.object_of(hNamedPipe);
  if (!object) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  if (!object->stream || !object->stream->pipe) {
    w.last_error() = 1;  // ERROR_INVALID_FUNCTION: not a pipe
    return 0;
  }
  const std::string& waiting = object->stream->readable;
  const DWORD copied = std::min<DWORD>(nBufferSize, static_cast<DWORD>(waiting.size()));
  if (lpBuffer != nullptr) std::memcpy(lpBuffer, waiting.data(), copied);
  if (lpBytesRead != nullptr) *lpBytesRead = copied;
  if (lpTotalBytesAvail != nullptr) *lpTotalBytesAvail = static_cast<DWORD>(waiting.size());
  if (lpBytesLeftThisMessage != nullptr) *lpBytesLeftThisMessage = 0;
  return 1;
}

BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead, DWORD* lpNumberOfBytesRead,
              void* lpOverlapped) {
  auto& w = world();
  log("ReadFile(" + std::to_string(nNumberOfBytesToRead) + ")");
  if (lpOverlapped != nullptr) throw std::logic_error("ReadFile: overlapped reads are not modelled");
  *lpNumberOfBytesRead = 0;
  const auto object = w.object_of(hFile);
  if (!object || !object->stream) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  fake::ByteStream& stream = *object->stream;
  stream.read_requests.push_back(nNumberOfBytesToRead);
  // Simplified: an empty pipe reads as one whose writers have all gone
  // (Windows would wait for a writer that is still there).
  if (stream.readable.empty() && stream.pipe) {
    w.last_error() = ERROR_BROKEN_PIPE;
    return 0;
  }
  const DWORD taken = std::min<DWORD>(nNumberOfBytesToRead, static_cast<DWORD>(stream.readable.size()));
  std::memcpy(lpBuffer, stream.readable.data(), taken);
  stream.readable.erase(0, taken);
  *lpNumberOfBytesRead = taken;
  return 1;
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  auto& w = world();
  log("TerminateProcess(" + std::to_string(uExitCode) + ")");
  const auto object = w.object_of(hProcess);
  if (!object || object->kind != fake::Object::Kind::Process) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  fake::ChildState& child = *object->child;
  w.terminations.emplace_back(child.application, uExitCode);
  // A process that has ended cannot be ended again.
  if (child.ends_at_ns && *child.ends_at_ns <= w.now_ns) {
    w.last_error() = ERROR_ACCESS_DENIED;
    return 0;
  }
  child.exit_code = uExitCode;
  child.ends_at_ns = w.now_ns;
  child.terminated = true;
  return 1;
}

HANDLE CreateThread(const SECURITY_ATTRIBUTES* lpThreadAttributes, std::size_t dwStackSize,
                    THREAD_START_ROUTINE lpStartAddress, void* lpParameter, DWORD dwCreationFlags, DWORD* lpThreadId) {
  auto& w = world();
  log("CreateThread");
  if (lpThreadAttributes != nullptr || dwStackSize != 0 || dwCreationFlags != 0) {
    throw std::logic_error("CreateThread: only the defaults are modelled");
  }
  if (w.thread_error) {
    w.last_error() = *w.thread_error;
    return NULL_HANDLE;
  }
  ++w.threads_created;
  const std::int64_t started = w.now_ns;
  const DWORD result = lpStartAddress(lpParameter);
  auto child = std::make_shared<fake::ChildState>();
  child->exit_code = result;
  child->ends_at_ns = w.now_ns;
  child->application = u"thread";
  w.now_ns = started;
  auto thread = std::make_shared<fake::Object>();
  thread->kind = fake::Object::Kind::Thread;
  thread->child = child;
  thread->label = "thread";
  if (lpThreadId != nullptr) *lpThreadId = 3000 + static_cast<DWORD>(w.threads_created);
  return w.add_object(thread);
}

}  // namespace win
