// The settings path is formed afresh for every read and write, from the program's folder.
#include "settings/settings_file.h"

#include <windows.h>

#include "shell/bounded_text.h"
#include "shell/home_directory.h"

void ReadSetting(const char* section, const char* key, const char* fallback,
                 char (&value)[kSettingValueCapacity]) {
  char path[kSettingsPathCapacity];
  if (!FormatSettingsPath(path, sizeof path, HomePrefix)) {
    CopyText(value, sizeof value, fallback);
    return;
  }
  GetPrivateProfileStringA(section, key, fallback, value, sizeof value, path);
}

int WriteSetting(const char* section, const char* key, const char* value) {
  char path[kSettingsPathCapacity];
  if (!FormatSettingsPath(path, sizeof path, HomePrefix)) return 0;
  return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}
