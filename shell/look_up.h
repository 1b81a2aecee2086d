// Finding a call at run time that some 32-bit Windows lacks, instead of importing it: an
// import that a system lacks stops the program from starting there at all.
#pragma once

#include <windows.h>

// Sets `*function` to `name` in `module`, or to null when the module has no such call.
template <typename Function>
void LookUp(HMODULE module, const char* name, Function* function) {
  // Through void (*)(), the one function type that GCC lets any other be cast from silently.
  *function = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// `name` in KERNEL32, where most such calls live; null where this Windows lacks it.
FARPROC KernelCall(const char* name);

template <typename Function>
void LookUpKernel(const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(KernelCall(name)));
}
