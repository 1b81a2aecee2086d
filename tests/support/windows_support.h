// What every Windows test program shares: text in UTF-8, whole files, folders and programs by
// their wide names (the kit may be unzipped into a folder the ANSI code page cannot spell),
// and Wine's own settings. Nothing here speaks to GoogleTest, so the kit's runner uses it
// too: a call that can fail returns "" when done, else the call that failed and the
// platform's error, for the caller to show.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace hvtest {

// UTF-8, as GoogleTest prints wide texts: a failure line with a path and an error reads as one.
std::string Utf8(const std::wstring& wide);
// The ANSI text in UTF-16, as the system converts it; empty where it cannot.
std::wstring WideFromAnsi(const std::string& ansi);
// "error N (the system's text)", in UTF-8.
std::string ErrorText(DWORD error);
// "CALL failed, error N (...)" with the platform's error of the moment.
std::string Failed(const std::string& call);

// The folder part of `path`, with its trailing backslash.
std::wstring FolderOf(const std::wstring& path);
// The folder of this program's exe; empty where the platform cannot say.
std::wstring FolderOfThisProgram();

std::string ReadWholeFile(const std::wstring& path, std::string* bytes);
std::string WriteWholeFile(const std::wstring& path, const std::string& bytes);
// The text's lines that hold anything, split at CR, LF or CRLF.
std::vector<std::string> SplitLines(const std::string& text);
// The file's identity on its volume, 0 where it cannot be opened: a file renamed into its
// place has another.
unsigned long long FileIndex(const std::wstring& path);
// Makes `folder` ("X:\\a\\b\\") and whatever of its parents is missing.
std::string CreateFolders(const std::wstring& folder);
// Removes `folder` (with or without its trailing backslash) and all it holds, marks and all.
void RemoveTree(const std::wstring& folder);

// Wine's version ("8.0"), or null on Windows.
const char* WineVersion();
inline bool UnderWine() { return WineVersion() != nullptr; }

// Makes the program file `exe_name` (such as "hvsetup.exe"), started after this, see an older
// Windows: under Wine its own version setting (`wine_version`: "win31", "win95", "winxp",
// "win10"), on Windows the compatibility mode `compat_layer` ("WIN95", "WINXPSP3"; empty: none)
// through the variable that the programs this one starts inherit. `StopPretending` undoes both.
std::string PretendWindowsVersion(const wchar_t* exe_name, const wchar_t* wine_version,
                                  const wchar_t* compat_layer);
std::string StopPretending(const wchar_t* exe_name);

// A control's text, asked of the control's own thread: GetWindowTextW does not ask a window
// of another process for it.
std::string ControlText(HWND control);
// What a program that should have ended shows, for a failure to name: the caption of each of
// its visible top-level windows, and a message box's text after its caption.
std::string WindowsOfProcess(DWORD process_id);
// How long a program ran after `since` (from GetSystemTimeAsFileTime): "ended N ms after",
// or "still runs N ms after" where it has not ended.
std::string RanSince(HANDLE process, const FILETIME& since);

// Starts `exe` with `arguments` after its quoted path, in `folder` (empty: this program's
// current one). With `output`, its standard output and error go there.
std::string StartProgram(const std::wstring& exe, const std::wstring& arguments,
                         const std::wstring& folder, HANDLE output, PROCESS_INFORMATION* started);
// The exit code of a started program once it ends within `milliseconds`; -1 when it has not
// (it goes on running) or the platform cannot say.
int ExitCodeWithin(HANDLE process, DWORD milliseconds);
// Starts `exe`, waits up to 30 s and returns its exit code; ends it where it has not ended.
// `why` says what went wrong where the result is -1.
int RunProgram(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder,
               std::string* why);

}  // namespace hvtest
