// Finding a call at run time that some 32-bit Windows lacks, instead of importing it: an
// import that a system lacks stops the program from starting there at all.
#pragma once

#include <windows.h>

// The one copy of the module's name in the program (each string literal would be its own).
inline constexpr char kKernelModule[] = "KERNEL32";

// Sets `*function` to `name` in `module`, or to null when the module has no such call.
template <typename Function>
void LookUp(HMODULE module, const char* name, Function* function) {
  // Through void (*)(), the one function type that GCC lets any other be cast from silently.
  *function = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
