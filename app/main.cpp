// The program: find its folder and settings file, run the Options dialog, and exit with the
// code of the quit message the dialog leaves behind. It stands above every other folder and
// nothing includes it.
#include <windows.h>

#include "dialog/dialog_platform.h"
#include "dialog/options_dialog.h"
#include "resources/resource.h"
#include "settings/settings_folder.h"
#include "shell/home_directory.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  AppInstance = instance;
  const LeadByteRanges lead = SetupHomeDirectory(instance);
  FollowVirtualStore(lead);
  // Opened inside a zip, the program runs from a copy in the temporary folder, where its
  // settings would be lost with the copy: the user is told so first, and No is the default.
  if (InTemporaryFolderWithoutSettings(lead)) {
    const WarningLine line = {IDS_TEMPORARY_FOLDER_TEXT, nullptr};
    if (ShowWarningLines(instance, IDS_TEMPORARY_FOLDER_CAPTION, &line, 1,
                         MB_YESNO | MB_DEFBUTTON2) != IDYES) {
      return 0;
    }
  }
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
