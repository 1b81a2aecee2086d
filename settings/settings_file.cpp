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

int WriteSetting(const char* section, const char* key, const char* value,
                 ProfileWriteCall write) {
  char path[kSettingsPathCapacity];
  if (!FormatSettingsPath(path, sizeof path, HomePrefix)) return 0;
  return write(section, key, value, path) ? 1 : 0;
}

void FlushSettings(ProfileWriteCall write) {
  char path[kSettingsPathCapacity];
  // A null section, key and value is the platform's request to flush; its result is 0
  // when it did, so it says nothing about the writes.
  if (FormatSettingsPath(path, sizeof path, HomePrefix)) write(nullptr, nullptr, nullptr, path);
}
