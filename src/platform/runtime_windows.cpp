// Language run-time pieces for the shipped Windows exe only (it is built
// without exceptions). Linking these keeps libstdc++'s throwing versions out
// of the exe, and with them the whole exception machinery: the unwinder, the
// type information of the exception classes, the string formatting they use,
// and the verbose terminate handler with its symbol demangler (166,912 bytes
// of the x64 exe, 231,424 of the x86 one, as measured in docs/release.md's
// Size). The host build and the test programs, which use exceptions, never
// link this file.
//
// What the program itself can reach here is out of memory (new) and the
// length checks of the standard containers; the rest of the __throw_* family
// is defined because the linker must find all of them in one place: if any
// were missing, libstdc++'s object that defines them all would come in and
// the link would fail on the duplicates, rather than silently grow the exe.
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string_view>

#include "platform/fail_fast.h"
#include "platform/win_api.h"

namespace {

// Set while a report is being written, so that an allocation failing inside
// the report (the console writer may allocate) ends the process at once
// instead of recursing.
bool g_reporting = false;

[[noreturn]] void fail(const vant::TextPieces& message) {
  if (g_reporting) win::FastFail(win::FAST_FAIL_FATAL_APP_EXIT);
  g_reporting = true;
  vant::internal_failure(message);
}

// "memory allocation of 1024 bytes failed": the decimal digits are written
// into a stack buffer because the heap is what just failed.
[[noreturn]] void allocation_failed(std::size_t size) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* first = end;
  do {
    *--first = static_cast<char>('0' + size % 10);
    size /= 10;
  } while (size != 0);
  fail({"memory allocation of ", std::string_view(first, static_cast<std::size_t>(end - first)), " bytes failed"});
}

void* allocate(std::size_t size) {
  // malloc(0) may return NULL; new must return a unique pointer.
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) allocation_failed(size);
  return block;
}

// "internal error: length error: basic_string::_M_create"
[[noreturn]] void library_failure(std::string_view what, const char* detail) {
  if (detail == nullptr) fail({"internal error: ", what});
  fail({"internal error: ", what, ": ", detail});
}

}  // namespace

// ---- Global allocation: malloc and free, failure is fatal -----------------
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
// The nothrow forms report failure as NULL, as their callers expect.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

// ---- The standard library's error reports ---------------------------------
namespace std {
void __throw_bad_exception() { library_failure("bad exception", nullptr); }
void __throw_bad_alloc() { library_failure("bad allocation", nullptr); }
void __throw_bad_array_new_length() { library_failure("bad array new length", nullptr); }
void __throw_bad_cast() { library_failure("bad cast", nullptr); }
void __throw_bad_typeid() { library_failure("bad typeid", nullptr); }
void __throw_logic_error(const char* detail) { library_failure("logic error", detail); }
void __throw_domain_error(const char* detail) { library_failure("domain error", detail); }
void __throw_invalid_argument(const char* detail) { library_failure("invalid argument", detail); }
void __throw_length_error(const char* detail) { library_failure("length error", detail); }
void __throw_out_of_range(const char* detail) { library_failure("out of range", detail); }
// The format's arguments are left out: the format names the function.
void __throw_out_of_range_fmt(const char* format, ...) { library_failure("out of range", format); }
void __throw_runtime_error(const char* detail) { library_failure("runtime error", detail); }
void __throw_range_error(const char* detail) { library_failure("range error", detail); }
void __throw_overflow_error(const char* detail) { library_failure("overflow error", detail); }
void __throw_underflow_error(const char* detail) { library_failure("underflow error", detail); }
}  // namespace std
