// The one place that names KERNEL32 to look a call up in it.
#include "shell/look_up.h"

// Not inlined: each call site then only names the call it wants.
__attribute__((noinline)) FARPROC KernelCall(const char* name) {
  return GetProcAddress(GetModuleHandleA("KERNEL32"), name);
}
