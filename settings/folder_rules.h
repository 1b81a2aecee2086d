// Where Windows Vista to 11 keep an old program's settings, and which folders are the
// system's own: pure text rules on ANSI paths, walked by the characters of the code page
// (a second byte of a Japanese or Chinese character can be a backslash), tested natively.
#pragma once

#include <cstddef>

#include "shell/code_page.h"

// 1 when `path` is `folder` or lies inside it. Letters compare without regard to case
// (only the single-byte ones A to Z: a second byte is never folded), and either may end in
// a backslash. An empty folder contains nothing.
int IsInsideFolder(const char* path, const char* folder, const LeadByteRanges& lead);

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
