// The keys of the settings file, read and written through the platform's initialisation-file
// functions, and the check before a save that the file can be written at all.
#pragma once

#include <windows.h>

#include "settings/save_check.h"
#include "settings/setting_rules.h"
#include "shell/code_page.h"

// The platform's WritePrivateProfileStringA and GetPrivateProfileStringA, or stand-ins (a
// profile cache, a recorder).
using ProfileWriteCall = BOOL(WINAPI*)(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
using ProfileReadCall = DWORD(WINAPI*)(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR value,
                                       DWORD capacity, LPCSTR file);

// The key's value, at most 255 characters, or `fallback` when the file, section or key is
// missing or cannot be read.
void ReadSetting(const char* section, const char* key, const char* fallback,
                 char (&value)[kSettingValueCapacity]);

// 1 when the platform reports the key written, 0 when the write failed. An empty value is
// written as an empty value; the key is never removed.
int WriteSetting(const char* section, const char* key, const char* value,
                 ProfileWriteCall write = WritePrivateProfileStringA);

// Gives the six keys of the first [Options] section of `file` the values of `values` by the
// rule of settings_text.h: the file is read once to find their lines, then only what changes
// is written, in place; a missing file is made. 0, or the platform's error (a file too long
// to edit: ERROR_FILE_TOO_LARGE); a failure half-way can leave the file half changed, so a
// save makes its changes in a copy wherever it can.
unsigned long EditOptionValues(const OptionValues& values, const LeadByteRanges& lead,
                               const char* file);

// `count` bytes of `from` at `from_at` written to `to` at `to_at` (another file, or the same
// one), a chunk at a time; within one file from the back where they move away from its start,
// so that no chunk overwrites bytes still to be read. 0, or the reason (bytes that are no
// longer there: ERROR_HANDLE_EOF). Its buffer gets a frame of its own.
__attribute__((noinline)) unsigned long CopyBytes(HANDLE from, DWORD from_at, HANDLE to,
                                                  DWORD to_at, DWORD count);

// 1 when the platform's reader (`read`) finds the six values of `values` in `file`.
int ReadsBackOptionValues(const OptionValues& values, ProfileReadCall read, const char* file);

// Writes the six keys of `values` into `file` through the platform's profile writer, in
// their fixed order, then flushes the profile cache (FlushSettings); 1 when every key was
// written. Every key is tried even after one fails, so that as much as possible is saved.
// The save's way for a file the platform reads otherwise than the editor: the writer
// rewrites it whole under Wine, so it is never the first way.
int WriteOptionValues(const OptionValues& values, ProfileWriteCall write, const char* file);

// Makes `file` hold every key written through the profile calls, and lets go of it. Windows
// 95, 98 and Me keep the file last used in a cache, which every program's profile calls share,
// and write it out only later, while the game's DOS edition reads the disk; elsewhere the
// writes have gone through already and this does nothing.
void FlushSettings(const char* file, ProfileWriteCall write);

// The calls a save makes: the profile calls, and the free-space queries of the volume that
// holds the file. Tests stand in for a profile cache, or for a full disk.
struct SaveCalls {
  ProfileWriteCall write;
  // The first Windows 95 (the Ex form came with OSR2) and Win32s lack the Ex form: it is
  // looked up, and may be null. The plain one tops out at 2 GB, enough to tell a full disk.
  BOOL(WINAPI* GetDiskFreeSpaceExA)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  BOOL(WINAPI* GetDiskFreeSpaceA)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
  // Replaces the file by a renamed copy. Looked up (Win32s may lack it); 95, 98 and Me have
  // a stub that fails, and a save whose rename fails writes into the file itself.
  BOOL(WINAPI* MoveFileExA)(LPCSTR, LPCSTR, DWORD);
  ProfileReadCall read;
};

SaveCalls PlatformSaveCalls();

// Opens `path` sharing reading and writing: other programs (Halvern among them) may hold
// the file, and the platform's profile calls open it too. A moment's hold without sharing
// is waited out (OpensAgain).
HANDLE OpenSharedFile(const char* path, DWORD access, DWORD disposition);

// 1 with `info` filled where `path` names a file the system describes (the one a link leads
// to). Opened for no access, which no other program's sharing refuses, with the sharing every
// Windows knows.
int ReadFileInformation(const char* path, BY_HANDLE_FILE_INFORMATION* info);

// Makes sure, before anything is written, that the settings file can be: the volume has room
// for the whole file after the save (a free-space query that fails does not block), and the
// file opens for writing (where it is missing, a file can be made in its folder: the save's
// copy is, and nothing is made under the settings file's own name). A profile
// cache (Windows 95, 98, Me, Win32s) reports writes done that never reach a read-only file,
// and a full disk was seen to cut the file while every write reported success. A disc always
// reports no room, so there the open alone decides. 1 when the save may go ahead; otherwise
// 0, with `refusal` saying why.
int CheckSettingsWritable(const SaveCalls& calls, const LeadByteRanges& lead, SaveRefusal* refusal);
