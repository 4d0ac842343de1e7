#include "setup/driver.h"

#ifdef VANT_OWN_ENTRY

#include <cstddef>

// The exe's entry point when it is linked without the C run-time's start-up
// code (cmake/packaging.cmake). That code parses a command line the program
// never reads and sets up features it never uses; the one thing the program
// needs from it, running the constructors of static objects, is done here in
// the same order.
extern "C" {

using StaticConstructor = void (*)();
// Laid out by the linker: -1 (or a count), the constructors, then NULL.
extern StaticConstructor __CTOR_LIST__[];

// Destructors of static objects never run in this program: it ends in
// ExitProcess or a fail-fast request, never by returning or calling exit(),
// which is when the C run-time would run them. The registrations that the
// constructors make are therefore accepted and dropped.
int atexit(void (*)()) { return 0; }

// Windows promises a 32-bit entry point only 4-byte stack alignment; the
// compiled code assumes 16.
[[noreturn]] __attribute__((force_align_arg_pointer)) void vant_entry() {
  std::size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (std::size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
  vant::run_setup();
}

}  // extern "C"

#else

int main() { vant::run_setup(); }

#endif
