// The program's own folder: where the settings file lives, and the current folder while
// the dialog runs.
#pragma once

#include <windows.h>

#include "shell/home_path.h"

// Drive and folder of the program with a trailing separator, e.g. "C:\GAMES\X\", or ".\"
// when the program's own path could not be read whole. Written once by
// SetupHomeDirectory, read-only afterwards.
extern char HomePrefix[kHomePrefixCapacity];

void SetupHomeDirectory(HINSTANCE instance);
