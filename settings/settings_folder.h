// Which settings file the program uses, and what kind of folder and drive hold it: the
// per-user copy that Windows Vista to 11 keep for Halvern, the temporary folder a zip is
// opened in, the folders Windows keeps for administrators, a disc.
#pragma once

#include <windows.h>

#include "shell/code_page.h"

// 1 with `found` filled when `path` names a file or folder.
int FindFile(const char* path, WIN32_FIND_DATAA* found);

// Windows Vista to 11 keep what an old program (Halvern among them) writes under a folder it
// may not change in a per-user copy, %LOCALAPPDATA%\VirtualStore\<the folder without its
// drive>, and from then on give that program the copy. Where such a copy of the settings
// file exists, HomePrefix becomes its folder, so that the dialog shows and saves the file
// Halvern reads. Whatever version the system reports (a compatibility mode makes Windows 10
// say it is 95 or XP): no Windows before Vista has such a copy, or sets LOCALAPPDATA. A
// copy's path that cannot be named safely (too long, a user name the code page cannot spell,
// another drive than the Windows folder's) leaves the file beside the program.
void FollowVirtualStore(const LeadByteRanges& lead);

// 1 when the program's folder lies below the system's temporary folder and holds no
// settings file: the program was most likely opened inside a zip, which Explorer and other
// archivers unpack there, and a save would make a file that Halvern never reads.
int InTemporaryFolderWithoutSettings(const LeadByteRanges& lead);

// 1 when the settings file's folder lies under a folder that Windows Vista to 11 let only
// administrators change: Program Files (either of them), ProgramData or the Windows folder.
int InProtectedFolder(const LeadByteRanges& lead);

// 1 on a system that keeps such folders for administrators: Windows Vista (NT 6) and later.
// Asked of the system's own calls, not of its version number, which a compatibility mode
// makes Windows 10 and 11 report as 95, 98 or XP.
int KeepsFoldersForAdministrators();

// 1 when the settings file's drive is a CD-ROM drive (a disc, or a disc image mounted as one).
int SettingsOnDisc(const LeadByteRanges& lead);
