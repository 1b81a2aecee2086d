// The settings file's folder as the system's own folders see it. Every comparison takes the
// long form of the folder first: a program started by a short (8.3) path has a module path
// in that form, and the system's folders are named in their long one.
#include "settings/settings_folder.h"

#include "settings/folder_rules.h"
#include "settings/save_check.h"
#include "settings/setting_rules.h"
#include "shell/bounded_text.h"
#include "shell/home_directory.h"
#include "shell/look_up.h"

namespace {

// An environment variable's value: 0 where it is missing, does not fit, or the system has
// no such call (Win32s may lack it: it is looked up).
DWORD EnvironmentValue(const char* name, char (&value)[kHomePrefixCapacity]) {
  DWORD(WINAPI * get_variable)(LPCSTR, LPSTR, DWORD) = nullptr;
  LookUpKernel("GetEnvironmentVariableA", &get_variable);
  const DWORD length = get_variable != nullptr ? get_variable(name, value, sizeof value) : 0;
  return length < sizeof value ? length : 0;
}

// The Windows folder; 0 where it does not fit.
UINT WindowsFolder(char (&folder)[kHomePrefixCapacity]) {
  const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  return length < sizeof folder ? length : 0;
}

// `folder` in its long form where the system has the call (95 and NT 4 do not) and the long
// form, in the code page's letters, names the folder; as given otherwise.
void LongForm(const char* folder, const LeadByteRanges& lead,
              char (&long_form)[kHomePrefixCapacity]) {
  LongPathCall long_path = nullptr;
  LookUpKernel("GetLongPathNameA", &long_path);
  LongFormOf(folder, long_path, lead, long_form, sizeof long_form);
}

}  // namespace

int FindFile(const char* path, WIN32_FIND_DATAA* found) {
  HANDLE search = FindFirstFileA(path, found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return 1;
}

void FollowVirtualStore(const LeadByteRanges& lead) {
  char home[kHomePrefixCapacity];
  char local[kHomePrefixCapacity];
  char windows[kHomePrefixCapacity];
  char folder[kHomePrefixCapacity];
  LongForm(HomePrefix, lead, home);
  if (!EnvironmentValue("LOCALAPPDATA", local) || !WindowsFolder(windows) ||
      !VirtualStoreFolder(home, local, windows, kSettingsFileName, lead, folder, sizeof folder)) {
    return;
  }
  char path[kSettingsPathCapacity];
  WIN32_FIND_DATAA found;
  if (FormatSettingsPath(path, sizeof path, folder) && FindFile(path, &found) &&
      (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    CopyText(HomePrefix, sizeof HomePrefix, folder);
  }
}

int InTemporaryFolderWithoutSettings(const LeadByteRanges& lead) {
  DWORD(WINAPI * get_temp_path)(DWORD, LPSTR) = nullptr;
  LookUpKernel("GetTempPathA", &get_temp_path);
  const auto fits = [](DWORD length) { return length - 1 < kHomePrefixCapacity - 1; };
  char temp[kHomePrefixCapacity];
  char current[kHomePrefixCapacity];
  if (get_temp_path == nullptr || !fits(get_temp_path(sizeof temp, temp))) return 0;
  if (!fits(GetCurrentDirectoryA(sizeof current, current))) current[0] = '\0';
  // A user name longer than eight letters may reach TEMP in its short form while Explorer
  // starts the program by its long one, or the other way round: long forms are compared.
  char home[kHomePrefixCapacity];
  char long_temp[kHomePrefixCapacity];
  char long_current[kHomePrefixCapacity];
  LongForm(HomePrefix, lead, home);
  LongForm(temp, lead, long_temp);
  LongForm(current, lead, long_current);
  char file[kSettingsPathCapacity];
  WIN32_FIND_DATAA found;
  return InTemporaryFolder(home, long_temp, long_current, lead) &&
         !(FormatSettingsPath(file, sizeof file, HomePrefix) && FindFile(file, &found));
}

int InProtectedFolder(const LeadByteRanges& lead) {
  // As the system names them, then the Windows folder (null); a 32-bit program on 64-bit
  // Windows finds C:\Program Files only under ProgramW6432 (its ProgramFiles is the (x86) one).
  static const char* const kRoots[] = {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432",
                                       "ProgramData", nullptr};
  char home[kHomePrefixCapacity];
  char root[kHomePrefixCapacity];
  LongForm(HomePrefix, lead, home);
  // A plain loop: std::any_of and its lambda took the program 112 bytes more.
  for (const char* name : kRoots) {
    const unsigned long length =
        name != nullptr ? EnvironmentValue(name, root) : WindowsFolder(root);
    // cppcheck-suppress useStlAlgorithm
    if (length != 0 && IsInsideFolder(home, root, lead)) return 1;
  }
  return 0;
}

int KeepsFoldersForAdministrators() {
  // A call that came with Vista: a compatibility mode changes what GetVersion reports, never
  // which calls the system has.
  return KernelCall("GetTickCount64") != nullptr;
}

int SettingsOnDisc(const LeadByteRanges& lead) {
  // Null asks for the current drive, the program's own.
  char root[kHomePrefixCapacity];
  return GetDriveTypeA(DriveRootOf(HomePrefix, lead, root, sizeof root) ? root : nullptr) ==
         DRIVE_CDROM;
}
