// Where Windows Vista to 11 keep an old program's settings, and which folders are the
// system's own: pure text rules on ANSI paths, walked by the characters of the code page
// (a second byte of a Japanese or Chinese character can be a backslash), tested natively.
#pragma once

#include <cstddef>

#include "shell/code_page.h"

// The calling convention of the platform's calls, so that one can be handed in here (and a
// test's stand-in in its place) without <windows.h>.
#if defined(_WIN32) && !defined(_WIN64)
#define HV_WINAPI __attribute__((stdcall))
#else
#define HV_WINAPI
#endif

// GetLongPathNameA, or a stand-in: the length of the long form written, or the capacity it
// needs, or 0 where the path has none.
using LongPathCall = unsigned long(HV_WINAPI*)(const char* path, char* long_path,
                                                unsigned long capacity);

// `folder` in its long form ("C:\PROGRA~2\HALVERN\" as "C:\Program Files (x86)\Halvern\"),
// as `long_path` names it: shortcuts made by old installers start programs by short paths,
// and the folders the rules below compare with are long ones. `folder` itself where the call
// is missing (Windows 95 and NT 4 lack it) or fails, where the long form does not fit
// `capacity`, or where it names no folder in turn: a character the ANSI code page cannot
// spell comes back as '?' or as a look-alike letter.
void LongFormOf(const char* folder, LongPathCall long_path, const LeadByteRanges& lead,
                char* out, std::size_t capacity);

// 1 when `path` is `folder` or lies inside it. Letters compare without regard to case
// (only the single-byte ones A to Z: a second byte is never folded), and either may end in
// a backslash. An empty folder contains nothing.
int IsInsideFolder(const char* path, const char* folder, const LeadByteRanges& lead);

// 1 when `path` is the entry `name` of `folder` ("C:\Games\X\halvern.ini" of "C:\Games\X" and
// "halvern.ini"), letters compared as IsInsideFolder compares them. Given the final paths
// the system resolves a file and its folder to, 0 means the name leads to another file: a
// symbolic link, to a file elsewhere or of another name.
int IsEntryOfFolder(const char* path, const char* folder, const char* name,
                    const LeadByteRanges& lead);

// 1 when `folder` lies inside the temporary folder `temp` (as a zip's Temp1_... folder does),
// not being `temp` itself, and `temp` is neither a drive's root (a TEMP of C:\, an old DOS
// habit, would put every folder of that drive in it) nor `current`, the current folder
// (Windows 95 and NT 4 name it when TMP and TEMP are unset).
int InTemporaryFolder(const char* folder, const char* temp, const char* current,
                      const LeadByteRanges& lead);

// The folder in which UAC keeps the per-user copy of the files in `home_prefix` ("C:\GAMES\X\")
// for a program that it virtualizes: `local_app_data` + "\VirtualStore" + the folder without
// its drive, with a trailing backslash, e.g. "C:\Users\Ann\AppData\Local\VirtualStore\GAMES\X\".
// 0 (and an empty folder) where Windows keeps no such copy or it cannot be named safely: a
// folder on another drive than the Windows folder's, a network path, an application-data
// folder that is not a whole drive path or holds a '?' (a character the code page cannot
// spell), or a result that would not leave room for `file_name` within `capacity`.
int VirtualStoreFolder(const char* home_prefix, const char* local_app_data,
                       const char* windows_folder, const char* file_name,
                       const LeadByteRanges& lead, char* folder, std::size_t capacity);
