// The temporary folder. Windows 11 and recent Windows 10 updates have
// GetTempPath2W (which gives SYSTEM processes their own folder); older
// systems only GetTempPathW. Which one exists is looked up by name on the
// first call and remembered for the life of the process.
#include "paths/temp_directory.h"

#include <atomic>

#include "platform/win_api.h"
#include "platform/windows_text.h"

namespace vant {
namespace {

using TempPathFunction = win::DWORD (*)(win::DWORD size, char16_t* buffer);

win::DWORD resolve_temp_path_function(win::DWORD size, char16_t* buffer);

// The slot: the resolver until the first call, then the chosen function.
// Both threads of a race would store the same choice, so plain atomic stores
// are enough; no lock.
constinit std::atomic<TempPathFunction> g_temp_path_function{resolve_temp_path_function};
constinit std::atomic<win::FARPROC> g_temp_path2{win::NULL_PROC};

win::DWORD call_get_temp_path2(win::DWORD size, char16_t* buffer) {
  return win::InvokeGetTempPath2W(g_temp_path2.load(std::memory_order_relaxed), size, buffer);
}

win::DWORD call_get_temp_path(win::DWORD size, char16_t* buffer) { return win::GetTempPathW(size, buffer); }

win::DWORD resolve_temp_path_function(win::DWORD size, char16_t* buffer) {
  // A failed look-up sets the last error; the caller set it to 0 to read a
  // zero answer, so it is put back before the real call.
  const win::DWORD caller_error = win::GetLastError();
  TempPathFunction chosen = call_get_temp_path;
  const win::HMODULE kernel32 = win::GetModuleHandleA("kernel32");
  if (kernel32 != win::NULL_MODULE) {
    const win::FARPROC proc = win::GetProcAddress(kernel32, "GetTempPath2W");
    if (proc != win::NULL_PROC) {
      g_temp_path2.store(proc, std::memory_order_relaxed);
      chosen = call_get_temp_path2;
    }
  }
  g_temp_path_function.store(chosen, std::memory_order_release);
  win::SetLastError(caller_error);
  return chosen(size, buffer);
}

}  // namespace

std::expected<PathText, SystemError> temp_directory() {
  return fill_text_buffer(
      [](win::DWORD size, char16_t* buffer) {
        return g_temp_path_function.load(std::memory_order_acquire)(size, buffer);
      },
      path_from_wide);
}

#ifdef VANT_TEST_HOOKS
void reset_temp_path_resolver_for_tests() {
  g_temp_path2.store(win::NULL_PROC, std::memory_order_relaxed);
  g_temp_path_function.store(resolve_temp_path_function, std::memory_order_release);
}
#endif

}  // namespace vant
