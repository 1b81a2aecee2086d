// The program's own folder: where the settings file lives, and the current folder while
// the dialog runs.
#pragma once

#include <windows.h>

#include "shell/home_path.h"

// Drive and folder of the program with a trailing separator, e.g. "C:\GAMES\X\", or ".\"
// when no path of the program's can be trusted (cut short, or naming a folder that the
// code page cannot spell and that has no short name). Written by SetupHomeDirectory, and
// on Windows Vista to 11 moved to the settings file's per-user copy by FollowVirtualStore,
// both before the dialog opens; read-only afterwards.
extern char HomePrefix[kHomePrefixCapacity];

// The ANSI code page's lead bytes, by which HomePrefix is walked (in Japanese or Chinese the
// second byte of a character can be a backslash). Asked for once, by SetupHomeDirectory with
// HomePrefix, and kept beside it: the code page does not change while the program runs.
// Read-only afterwards; all zero (a single-byte code page) until then.
extern LeadByteRanges HomeLeadBytes;

// Returns the ANSI code page's lead bytes, which it walked the path by (HomeLeadBytes).
LeadByteRanges SetupHomeDirectory(HINSTANCE instance);

// The calls that tell how the ANSI code page treats the program's path: its lead bytes
// (a path is split by characters, and in Japanese or Chinese the second byte of one can be
// a backslash), and the wide-character calls that tell whether the ANSI module path lost
// a character, and find a short name for it if so. Win32s and Windows 95 lack some of
// them (or have stubs that fail), so they are looked up when the program starts, never
// imported; any of them may be null.
struct CodePageCalls {
  DWORD(WINAPI* GetModuleFileNameW)(HMODULE, LPWSTR, DWORD);
  DWORD(WINAPI* GetShortPathNameW)(LPCWSTR, LPWSTR, DWORD);
  int(WINAPI* WideCharToMultiByte)(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, LPBOOL);
  int(WINAPI* MultiByteToWideChar)(UINT, DWORD, LPCSTR, int, LPWSTR, int);
  BOOL(WINAPI* GetCPInfo)(UINT, LPCPINFO);
};

CodePageCalls LookUpCodePageCalls();

// SetupHomeDirectory with the calls given, so that tests can stand in for a system that
// has none of them, or no short names.
LeadByteRanges SetupHomeDirectoryWith(HINSTANCE instance, const CodePageCalls& calls);

// The ANSI code page's lead bytes; none (every byte a character) when the platform cannot
// tell, as single-byte Windows never needs to.
LeadByteRanges AnsiLeadBytes(const CodePageCalls& calls);
