// Exercises the exe's run-time replacements (src/platform/runtime_windows.cpp)
// the way the program could reach them, built like the exe (no exceptions):
//   runtime_probe new      operator new cannot get the memory
//   runtime_probe length   a string grows past its maximum size
//   runtime_probe ok       allocates, frees and exits 0
// The failures must end the process through the fail-fast request after a
// report on the error stream.
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (std::strcmp(mode, "new") == 0) {
    // Larger than any address space: malloc fails at once.
    volatile std::size_t size = std::numeric_limits<std::size_t>::max() / 2;
    // Stored in a volatile so the compiler cannot drop the allocation.
    void* volatile block = ::operator new(size);
    (void)block;
    return 3;
  }
  if (std::strcmp(mode, "length") == 0) {
    std::string text;
    volatile std::size_t size = text.max_size() + 1;
    text.reserve(size);
    return 5;
  }
  if (std::strcmp(mode, "ok") == 0) {
    std::vector<std::string> texts(100, std::string(1000, 'x'));
    int* numbers = new int[10]();
    int* maybe = new (std::nothrow) int(7);
    const bool fine = texts.back().size() == 1000 && numbers[9] == 0 && maybe != nullptr && *maybe == 7;
    delete maybe;
    delete[] numbers;
    return fine ? 0 : 6;
  }
  return 2;
}
