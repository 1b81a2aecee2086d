// Reading and writing one key of the settings file beside the program, through the
// platform's initialisation-file functions.
#pragma once

#include "settings/setting_rules.h"

// The key's value, at most 255 characters, or `fallback` when the file, section or key is
// missing or cannot be read.
void ReadSetting(const char* section, const char* key, const char* fallback,
                 char (&value)[kSettingValueCapacity]);

// 1 when the platform reports the key written, 0 when the write failed. An empty value is
// written as an empty value; the key is never removed.
int WriteSetting(const char* section, const char* key, const char* value);
