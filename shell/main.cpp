// Entry point: find the program's folder, run the Options dialog, and exit with the code
// of the quit message the dialog leaves behind.
#include <windows.h>

#include "dialog/options_dialog.h"
#include "resources/resource.h"
#include "settings/settings_file.h"
#include "shell/home_directory.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  AppInstance = instance;
  FollowVirtualStore(GetVersion(), SetupHomeDirectory(instance));
  // Without its template the dialog never opens and would never post the quit message
  // the loop below waits for.
  if (DialogBoxParamA(instance, IDD_OPTIONS, nullptr, OptionsDialogProc, 0) == -1) return 1;

  MSG message;
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return got == 0 ? static_cast<int>(message.wParam) : 1;
}
