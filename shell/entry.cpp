// The program's entry point. No C runtime is linked (so the exe starts on systems that have
// none to lend it): the platform jumps here with nothing set up, and this hands WinMain the
// module handle and ends the process with WinMain's result.
#include <windows.h>

// Windows 95 and Win32s promise only 4-byte stack alignment at the entry point.
extern "C" __attribute__((force_align_arg_pointer)) void WINAPI HvEntry() {
  // WinMain's signature asks for a writable command line; the program never reads it.
  const char no_arguments[] = "";
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr,
                                        const_cast<LPSTR>(no_arguments), SW_SHOWDEFAULT)));
}
