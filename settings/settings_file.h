// Reading and writing one key of the settings file beside the program, through the
// platform's initialisation-file functions.
#pragma once

#include <windows.h>

#include "settings/save_check.h"
#include "settings/setting_rules.h"
#include "shell/code_page.h"

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

// Makes `file` hold every key written. Windows 95, 98 and Me keep the file last used in a
// cache and write it out only later, while the game's DOS edition reads the disk; elsewhere
// the writes have gone through already and this does nothing.
void FlushSettings(const char* file, ProfileWriteCall write);

// The calls a save makes: the profile write, and the free-space queries of the volume that
// holds the file. Tests stand in for a profile cache that reports every write done, or for
// a full disk.
struct SaveCalls {
  ProfileWriteCall write;
  // The first Windows 95 (the Ex form came with OSR2) and Win32s lack the Ex form: it is
  // looked up, and may be null. The plain one tops out at 2 GB, enough to tell a full disk.
  BOOL(WINAPI* GetDiskFreeSpaceExA)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  BOOL(WINAPI* GetDiskFreeSpaceA)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
  // Replaces the file by a renamed copy. Windows NT only (95, 98 and Me have a stub that
  // fails, and Win32s may lack it), so it is looked up there and null elsewhere; a save
  // without it writes into the file itself.
  BOOL(WINAPI* MoveFileExA)(LPCSTR, LPCSTR, DWORD);
};

SaveCalls PlatformSaveCalls();

// Makes sure, before anything is written, that the settings file can be: the volume has room
// for the whole file after the save (a free-space query that fails does not block), and the
// file opens for writing (where it is missing, a file can be made in its folder: the save's
// copy is, and nothing is made under the settings file's own name). A profile
// cache (Windows 95, 98, Me, Win32s) reports writes done that never reach a read-only file,
// and a full disk was seen to cut the file while every write reported success. 1 when the
// save may go ahead; otherwise 0, with `refusal` saying why.
int CheckSettingsWritable(const SaveCalls& calls, const LeadByteRanges& lead, SaveRefusal* refusal);

// Windows Vista to 11 keep what an old program (Halvern among them) writes under a folder it
// may not change in a per-user copy, %LOCALAPPDATA%\VirtualStore\<the folder without its
// drive>, and from then on give that program the copy. Where such a copy of the settings
// file exists, HomePrefix becomes its folder, so that the dialog shows and saves the file
// Halvern reads. Windows before NT 6 (`version` is GetVersion()'s value) keep no copies; a
// copy's path that cannot be named safely (too long, a user name the code page cannot spell,
// another drive than the Windows folder's) leaves the file beside the program.
void FollowVirtualStore(unsigned long version, const LeadByteRanges& lead);

// 1 when the program's folder lies in the system's temporary folder and holds no settings
// file: the program was most likely opened inside a zip, which Explorer and other archivers
// unpack there, and a save would make a file that Halvern never reads.
int InTemporaryFolderWithoutSettings(const LeadByteRanges& lead);

// 1 when the settings file's folder lies under a folder that Windows Vista to 11 let only
// administrators change: Program Files (either of them), ProgramData or the Windows folder.
int InProtectedFolder(const LeadByteRanges& lead);

// Writes the six keys into `file` and flushes the profile cache; 1 when every key was
// written. The dialog's, or a test's.
using KeyWriter = int (*)(void* context, ProfileWriteCall write, const char* file);

// Saves so that a power cut leaves the settings file whole, the old or the new: on Windows NT
// through a copy that is flushed and renamed over the file, elsewhere (or where that cannot
// be done) into the file itself, flushed. 1 when the file holds the new content; otherwise
// 0 with `*error` the reason, 0 when none is known.
int SaveSettingsFile(const SaveCalls& calls, KeyWriter write_keys, void* keys_context,
                     unsigned long* error);
