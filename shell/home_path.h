// Works out, from the program's own file name, the folder that holds the settings file and
// how to make that folder current. Pure text work, so it is tested natively.
#pragma once

#include <cstddef>

// The longest module path Windows hands out through the ANSI calls (MAX_PATH), and so the
// longest folder prefix derived from one, terminator included.
constexpr std::size_t kModulePathCapacity = 260;
constexpr std::size_t kHomePrefixCapacity = kModulePathCapacity;

// Used when no folder can be trusted from the module path: the current folder. A bare file
// name would send the profile functions to the Windows folder instead.
constexpr char kCurrentFolderPrefix[] = ".\\";

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
// derived from a cut path would be the wrong one (or a parent), so none is derived.
void PlanHomeDirectory(const char* module_path, int path_complete, HomePlan* plan);
