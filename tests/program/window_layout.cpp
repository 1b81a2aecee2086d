// Test helper: prints where a top-level window and its controls are on the screen, as the
// window manager of Windows itself has laid them out, so that the harness clicks controls
// without assuming a font, a frame or a DPI. Usage: window_layout CAPTION
// Output, in screen pixels (left top right bottom):
//   window L T R B       the whole window, frame and caption included
//   client L T R B       its client area
//   control ID L T R B   one line per child window, in z-order
//   text ID TEXT         the child window's text, line breaks written as \n
//   code_page N          the ANSI code page programs started like this one run under
// Exit code 1 when no visible top-level window has that caption.
// window_layout --hold-desktop stays attached to Wine's desktop until it is ended, so that one
// desktop serves a whole test run (see harness/wine-env.sh); it prints "holding" once attached.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void PrintRect(const char* what, const RECT& r) {
  std::printf("%s %ld %ld %ld %ld\n", what, r.left, r.top, r.right, r.bottom);
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  RECT r;
  if (GetWindowRect(control, &r)) {
    char what[32];
    std::snprintf(what, sizeof what, "control %d", GetDlgCtrlID(control));
    PrintRect(what, r);
  }
  // One call at a time; on the stack it would make too large a frame for code without probes.
  static char text[4096];
  text[0] = '\0';
  GetWindowTextA(control, text, sizeof text);
  std::printf("text %d ", GetDlgCtrlID(control));
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\n') {
      std::printf("\\n");
    } else if (*c != '\r') {
      std::putchar(*c);
    }
  }
  std::putchar('\n');
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (std::strcmp(argv[1], "--hold-desktop") == 0) {
    if (GetDesktopWindow() == nullptr) {
      std::printf("GetDesktopWindow failed, error %lu\n", GetLastError());
      return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    for (;;) Sleep(INFINITE);
  }
  // Real pixels, not the ones Windows would make up for a program that knows nothing of DPI.
  SetProcessDPIAware();
  HWND window = FindWindowA(nullptr, argv[1]);
  if (window == nullptr || !IsWindowVisible(window)) return 1;
  RECT r;
  GetWindowRect(window, &r);
  PrintRect("window", r);
  GetClientRect(window, &r);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  OffsetRect(&r, origin.x, origin.y);
  PrintRect("client", r);
  EnumChildWindows(window, PrintControl, 0);
  std::printf("code_page %u\n", GetACP());
  std::fflush(stdout);
  return 0;
}
