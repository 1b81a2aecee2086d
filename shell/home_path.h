// Works out, from the program's own file name, the folder that holds the settings file and
// how to make that folder current. Pure text work, so it is tested natively.
#pragma once

#include <cstddef>

#include "shell/code_page.h"

// The longest module path Windows hands out through the ANSI calls (MAX_PATH), and so the
// longest folder prefix derived from one, terminator included.
constexpr std::size_t kModulePathCapacity = 260;
constexpr std::size_t kHomePrefixCapacity = kModulePathCapacity;

// Used when no folder can be trusted from the module path: the current folder. A bare file
// name would send the profile functions to the Windows folder instead.
constexpr char kCurrentFolderPrefix[] = ".\\";

// The number by which the platform selects the drive of `letter` (1 for A, 2 for B, ...),
// either case; 0 for any other character.
int DriveNumber(char letter);

// 1 when `path` holds a '?', which the ANSI calls put for a character the code page has no
// byte for; never part of a name, so the path names another file or none.
int HoldsLostCharacter(const char* path, const LeadByteRanges& lead);

struct HomePlan {
  // Drive part and directory part, e.g. "C:\GAMES\X\"; the settings file is found by
  // appending its name.
  char prefix[kHomePrefixCapacity];
  // Drive to select first, 1 for A, 2 for B, ...; 0 selects none.
  int drive_number;
  // Folder to make current afterwards, on that drive; empty changes nothing.
  char directory[kHomePrefixCapacity];
};

// `path_complete` is 0 when the platform reported the module path as cut short: a folder
// derived from a cut path would be the wrong one (or a parent), so none is derived. The
// path is walked by the characters of the code page whose lead bytes are `lead`.
void PlanHomeDirectory(const char* module_path, int path_complete, const LeadByteRanges& lead,
                       HomePlan* plan);

// What the wide (UTF-16) form of the module path says about its ANSI form.
enum WidePathCheck {
  kWidePathUnknown,   // no wide form to be had (Windows 95 and Win32s have no such calls)
  kWidePathFaithful,  // it converts to ANSI and back unchanged
  kWidePathLossy,     // a character of it has no byte, or only a look-alike, in the code page
};

// Which path the program's folder is taken from.
enum HomeSource {
  kHomeFromModulePath,     // the ANSI module path, as read
  kHomeFromShortPath,      // the short (8.3) form of the wide path, converted without loss
  kHomeFromCurrentFolder,  // none can be trusted: the current folder
};

// The ANSI module path names the program's folder only when it is whole and lost no
// character: Windows puts '?' (never part of a name) for a character the ANSI code page
// has no byte for, or a look-alike letter, and either names another folder or none; a path
// cut short (more than 259 bytes in the code page, as a deep Japanese-named folder can take)
// names a parent or nothing. Then the short form of the path is used when the platform gave
// one that converted without loss and fits (`short_path_faithful`), and only where there is
// none the current folder: a shortcut may start the program in another folder, whose
// settings file it would then open and save.
HomeSource ChooseHomeSource(const char* ansi_path, int ansi_complete, WidePathCheck wide,
                            int short_path_faithful, const LeadByteRanges& lead);
