// Reading and writing one key of the settings file beside the program, through the
// platform's initialisation-file functions.
#pragma once

#include <windows.h>

#include "settings/setting_rules.h"

// The platform's WritePrivateProfileStringA, or a stand-in that records the calls made.
using ProfileWriteCall = BOOL(WINAPI*)(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

// The key's value, at most 255 characters, or `fallback` when the file, section or key is
// missing or cannot be read.
void ReadSetting(const char* section, const char* key, const char* fallback,
                 char (&value)[kSettingValueCapacity]);

// 1 when the platform reports the key written, 0 when the write failed. An empty value is
// written as an empty value; the key is never removed.
int WriteSetting(const char* section, const char* key, const char* value,
                 ProfileWriteCall write = WritePrivateProfileStringA);

// Makes the file on disk hold every key written. Windows 95, 98 and Me keep the file last
// used in a cache and write it out only later, while the game's DOS edition reads the
// disk; elsewhere the writes have gone through already and this does nothing.
void FlushSettings(ProfileWriteCall write);
