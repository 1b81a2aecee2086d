// A stand-in for the program's start: sets up its home folder as the program does, then
// records in the settings file where it thinks it is and what the current folder became.
#include <windows.h>

#include "settings/settings_file.h"
#include "shell/home_directory.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  SetupHomeDirectory(instance);
  char current[MAX_PATH + 1];
  if (GetCurrentDirectoryA(sizeof current, current) >= sizeof current) current[0] = '\0';
  const int ok = WriteSetting(kOptionsSection, "Home", HomePrefix) &
                 WriteSetting(kOptionsSection, "Current", current);
  return ok ? 0 : 3;
}
