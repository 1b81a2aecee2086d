// Opens the Options dialog under whatever Windows version Wine pretends to be, and reports
// as its exit code 1 when IsLegacyWin32Host() holds, plus 2 when the dialog procedure moved
// the dialog while it initialised. Under Wine the template's own centring lands where the
// hand-centring does, so only the move itself shows that the hand-centring ran.
#include <windows.h>

#include <cstdio>

#include "dialog/options_dialog.h"
#include "resources/resource.h"

namespace {

// Hooks carry no context; this probe opens one dialog and counts its moves.
int moves_seen = 0;

LRESULT CALLBACK NoteMoves(int code, WPARAM wparam, LPARAM lparam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
  if (code == HC_ACTION && call->message == WM_WINDOWPOSCHANGING &&
      !(reinterpret_cast<const WINDOWPOS*>(call->lParam)->flags & SWP_NOMOVE)) {
    ++moves_seen;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

int main() {
  AppInstance = GetModuleHandleA(nullptr);
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, NoteMoves, nullptr, GetCurrentThreadId());
  HWND dialog = CreateDialogParamA(AppInstance, IDD_OPTIONS, nullptr, OptionsDialogProc, 0);
  UnhookWindowsHookEx(hook);
  if (dialog == nullptr) {
    std::fprintf(stderr, "version probe: CreateDialogParamA failed, error %lu\n", GetLastError());
    return 9;
  }
  DestroyWindow(dialog);
  return IsLegacyWin32Host() + (moves_seen > 0 ? 2 : 0);
}
