// Finds the program's folder and makes it current. Failures to change drive or folder
// are not reported: the previous current folder simply stays.
#include "shell/home_directory.h"

#include "shell/bounded_text.h"

// Zero-initialised, so it costs no space in the file; SetupHomeDirectory fills it first.
char HomePrefix[kHomePrefixCapacity];

void SetupHomeDirectory(HINSTANCE instance) {
  char module_path[kModulePathCapacity];
  const DWORD length = GetModuleFileNameA(instance, module_path, sizeof module_path);
  // A result that fills the buffer means the path was cut (and, on older systems, left
  // unterminated); a result of 0 means it could not be read at all.
  const int complete = length > 0 && length < sizeof module_path;
  if (!complete) module_path[0] = '\0';

  HomePlan plan;
  PlanHomeDirectory(module_path, complete, &plan);
  CopyText(HomePrefix, sizeof HomePrefix, plan.prefix);

  // The folder carries no drive, so it is resolved on the drive selected first. A bare
  // "X:" selects drive X with that drive's own current folder (its root when it has none).
  if (plan.drive_number != 0) {
    const char drive[] = {static_cast<char>('A' + plan.drive_number - 1), ':', '\0'};
    SetCurrentDirectoryA(drive);
  }
  if (plan.directory[0] != '\0') SetCurrentDirectoryA(plan.directory);
}
