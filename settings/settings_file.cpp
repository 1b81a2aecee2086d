// The settings path is formed afresh for every read and write, from the settings file's folder
// (HomePrefix: the program's own, or its per-user copy's on Windows Vista to 11).
#include "settings/settings_file.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "settings/folder_rules.h"
#include "settings/save_steps.h"
#include "shell/bounded_text.h"
#include "shell/home_directory.h"
#include "shell/look_up.h"

namespace {

// Every open shares reading and writing: other programs (Halvern among them) may hold the
// file, and the platform's profile calls open it too.
HANDLE OpenFile(const char* path, DWORD access, DWORD disposition) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// 1 with `found` filled when `path` names a file or folder.
int FindFile(const char* path, WIN32_FIND_DATAA* found) {
  HANDLE search = FindFirstFileA(path, found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return 1;
}

// Free bytes for this user on the volume that holds the settings file's folder. Under Wine, and
// with NTFS mount points, a folder can lie on another volume than its drive's root, so the
// folder itself is asked where the platform can.
int FreeBytesForSettings(const SaveCalls& calls, const LeadByteRanges& lead,
                         unsigned long long* free_bytes) {
  if (calls.GetDiskFreeSpaceExA != nullptr) {
    ULARGE_INTEGER available;
    ULARGE_INTEGER total;
    ULARGE_INTEGER total_free;
    if (calls.GetDiskFreeSpaceExA(HomePrefix, &available, &total, &total_free)) {
      *free_bytes = available.QuadPart;
      return 1;
    }
  }
  if (calls.GetDiskFreeSpaceA == nullptr) return 0;
  // Windows 95 wants a root here; null asks for the current drive, the program's own.
  char root[kHomePrefixCapacity];
  const char* where = DriveRootOf(HomePrefix, lead, root, sizeof root) ? root : nullptr;
  DWORD sectors_per_cluster = 0;
  DWORD bytes_per_sector = 0;
  DWORD free_clusters = 0;
  DWORD clusters = 0;
  if (!calls.GetDiskFreeSpaceA(where, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                               &clusters)) {
    return 0;
  }
  *free_bytes = static_cast<unsigned long long>(sectors_per_cluster) * bytes_per_sector *
                free_clusters;
  return 1;
}

}  // namespace

void ReadSetting(const char* section, const char* key, const char* fallback,
                 char (&value)[kSettingValueCapacity]) {
  char path[kSettingsPathCapacity];
  if (!FormatSettingsPath(path, sizeof path, HomePrefix)) {
    CopyText(value, sizeof value, fallback);
    return;
  }
  GetPrivateProfileStringA(section, key, fallback, value, sizeof value, path);
}

int WriteSetting(const char* section, const char* key, const char* value,
                 ProfileWriteCall write) {
  char path[kSettingsPathCapacity];
  if (!FormatSettingsPath(path, sizeof path, HomePrefix)) return 0;
  return write(section, key, value, path) ? 1 : 0;
}

void FlushSettings(const char* file, ProfileWriteCall write) {
  // A null section, key and value is the platform's request to flush; its result is 0
  // when it did, so it says nothing about the writes.
  write(nullptr, nullptr, nullptr, file);
}

SaveCalls PlatformSaveCalls() {
  // Field by field: an initialiser list of addresses would be kept as a copy in the file.
  SaveCalls calls;
  calls.write = WritePrivateProfileStringA;
  calls.GetDiskFreeSpaceA = GetDiskFreeSpaceA;
  const HMODULE kernel = GetModuleHandleA(kKernelModule);
  LookUp(kernel, "GetDiskFreeSpaceExA", &calls.GetDiskFreeSpaceExA);
  calls.MoveFileExA = nullptr;
  if (NtMajorVersion(GetVersion()) != 0) LookUp(kernel, "MoveFileExA", &calls.MoveFileExA);
  return calls;
}

int CheckSettingsWritable(const SaveCalls& calls, const LeadByteRanges& lead,
                          SaveRefusal* refusal) {
  *refusal = SaveRefusal{0, 0, 0, 0};
  char path[kSettingsPathCapacity];
  if (!FormatSettingsPath(path, sizeof path, HomePrefix)) {
    refusal->error = ERROR_FILENAME_EXCED_RANGE;
    return 0;
  }
  unsigned long long size = 0;
  WIN32_FIND_DATAA found;
  const int exists = FindFile(path, &found);
  if (exists) {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      refusal->error = ERROR_ACCESS_DENIED;
      refusal->not_a_file = 1;
      return 0;
    }
    size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    refusal->read_only = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  }
  unsigned long long free_bytes = 0;
  if (FreeBytesForSettings(calls, lead, &free_bytes) && !HasRoomForSave(size, free_bytes)) {
    refusal->error = ERROR_DISK_FULL;
    refusal->disk_full = 1;
    return 0;
  }
  // A missing file is tried by making the save's copy, which the save then reuses or
  // removes: a save stopped here must not leave an empty settings file behind.
  if (!exists) FormatPathInFolder(path, sizeof path, HomePrefix, kSaveCopyFileName);
  HANDLE file = OpenFile(path, GENERIC_WRITE, exists ? OPEN_EXISTING : OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) {
    refusal->error = GetLastError();
    return 0;
  }
  CloseHandle(file);
  return 1;
}

namespace {

// One save's files and calls, handed to each step.
struct FileSave {
  const SaveCalls* calls;
  KeyWriter write_keys;
  void* keys_context;
  char file[kSettingsPathCapacity];
  char copy[kSettingsPathCapacity];
  DWORD attributes;  // the file's, or 0 where it is missing
  int exists;
};

unsigned long CopyContent(HANDLE from, HANDLE to) {
  char buffer[2048];
  for (;;) {
    DWORD got = 0;
    DWORD put = 0;
    if (!ReadFile(from, buffer, sizeof buffer, &got, nullptr)) return GetLastError();
    if (got == 0) return 0;
    if (!WriteFile(to, buffer, got, &put, nullptr)) return GetLastError();
    if (put != got) return ERROR_DISK_FULL;
  }
}

unsigned long MakeCopy(FileSave& save) {
  WIN32_FIND_DATAA found;
  save.exists = FindFile(save.file, &found);
  save.attributes = save.exists ? found.dwFileAttributes : 0;
  HANDLE from = OpenFile(save.file, GENERIC_READ, OPEN_EXISTING);
  if (from == INVALID_HANDLE_VALUE && save.exists) return GetLastError();
  unsigned long error = 0;
  if (save.exists) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(from, &info)) {
      error = GetLastError();
    } else if (!MayReplaceByRename(save.attributes, info.nNumberOfLinks)) {
      error = ERROR_NOT_SUPPORTED;
    }
  }
  if (error == 0) {
    // A copy left by an interrupted save is reused. (One left hidden, by a power cut just
    // before its rename, is refused here; the save then writes in place and removes it.)
    HANDLE to = OpenFile(save.copy, GENERIC_WRITE, CREATE_ALWAYS);
    if (to == INVALID_HANDLE_VALUE) {
      error = GetLastError();
    } else {
      if (save.exists) error = CopyContent(from, to);
      CloseHandle(to);
    }
  }
  if (from != INVALID_HANDLE_VALUE) CloseHandle(from);
  return error;
}

unsigned long FlushToDisk(const char* path) {
  HANDLE file = OpenFile(path, GENERIC_WRITE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  const unsigned long error = FlushFileBuffers(file) ? 0 : GetLastError();
  CloseHandle(file);
  return error;
}

unsigned long RenameCopyOverFile(const FileSave& save) {
  const DWORD kept = KeptAttributes(save.attributes);
  if (save.exists) SetFileAttributesA(save.copy, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
  DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  for (;;) {
    if (save.calls->MoveFileExA(save.copy, save.file, flags)) return 0;
    const DWORD error = GetLastError();
    // A system that does not know the write-through flag refuses it as an invalid
    // parameter; a rename within one folder does not need it.
    if (error != ERROR_INVALID_PARAMETER || flags == MOVEFILE_REPLACE_EXISTING) return error;
    flags = MOVEFILE_REPLACE_EXISTING;
  }
}

unsigned long DoSaveStep(void* context, SaveStep step, int to_copy) {
  FileSave& save = *static_cast<FileSave*>(context);
  const char* target = to_copy ? save.copy : save.file;
  if (step == kMakeCopy) return MakeCopy(save);
  if (step == kWriteKeys) {
    return save.write_keys(save.keys_context, save.calls->write, target) ? 0 : 1;
  }
  if (step == kFlushToDisk) return FlushToDisk(target);
  if (step == kReplaceFile) return RenameCopyOverFile(save);
  if (step == kRemoveCopy) {
    DeleteFileA(save.copy);
  } else {
    Sleep(kReplacePauseMilliseconds);
  }
  return 0;
}

}  // namespace

int SaveSettingsFile(const SaveCalls& calls, KeyWriter write_keys, void* keys_context,
                     unsigned long* error) {
  FileSave save;
  save.calls = &calls;
  save.write_keys = write_keys;
  save.keys_context = keys_context;
  if (!FormatSettingsPath(save.file, sizeof save.file, HomePrefix) ||
      !FormatPathInFolder(save.copy, sizeof save.copy, HomePrefix, kSaveCopyFileName)) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return 0;
  }
  return RunSave(DoSaveStep, &save, calls.MoveFileExA != nullptr, error);
}

namespace {

// An environment variable's value: 0 where it is missing, does not fit, or the system has
// no such call (Win32s may lack it: it is looked up).
DWORD Variable(const char* name, char (&value)[kHomePrefixCapacity]) {
  DWORD(WINAPI * get_variable)(LPCSTR, LPSTR, DWORD) = nullptr;
  LookUp(GetModuleHandleA(kKernelModule), "GetEnvironmentVariableA", &get_variable);
  const DWORD length = get_variable != nullptr ? get_variable(name, value, sizeof value) : 0;
  return length < sizeof value ? length : 0;
}

// The Windows folder; 0 where it does not fit.
UINT WindowsFolder(char (&folder)[kHomePrefixCapacity]) {
  const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  return length < sizeof folder ? length : 0;
}

}  // namespace

void FollowVirtualStore(unsigned long version, const LeadByteRanges& lead) {
  if (NtMajorVersion(version) < 6) return;
  char local[kHomePrefixCapacity];
  char windows[kHomePrefixCapacity];
  char folder[kHomePrefixCapacity];
  if (!Variable("LOCALAPPDATA", local) || !WindowsFolder(windows) ||
      !VirtualStoreFolder(HomePrefix, local, windows, kSettingsFileName, lead, folder,
                          sizeof folder)) {
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
  DWORD(WINAPI * get_long_path)(LPCSTR, LPSTR, DWORD) = nullptr;
  const HMODULE kernel = GetModuleHandleA(kKernelModule);
  LookUp(kernel, "GetTempPathA", &get_temp_path);
  LookUp(kernel, "GetLongPathNameA", &get_long_path);
  const auto fits = [](DWORD length) { return length - 1 < kHomePrefixCapacity - 1; };
  char temp[kHomePrefixCapacity];
  if (get_temp_path == nullptr || !fits(get_temp_path(sizeof temp, temp))) return 0;
  int inside = IsInsideFolder(HomePrefix, temp, lead);
  // A user name longer than eight letters may reach TEMP in its short form while Explorer
  // starts the program by its long one, or the other way round, so the long forms are
  // compared too where the system has them (95 and NT 4 do not).
  char long_temp[kHomePrefixCapacity];
  char long_home[kHomePrefixCapacity];
  if (get_long_path != nullptr && fits(get_long_path(temp, long_temp, sizeof long_temp)) &&
      fits(get_long_path(HomePrefix, long_home, sizeof long_home))) {
    inside |= IsInsideFolder(long_home, long_temp, lead);
  }
  char file[kSettingsPathCapacity];
  WIN32_FIND_DATAA found;
  return inside && !(FormatSettingsPath(file, sizeof file, HomePrefix) && FindFile(file, &found));
}

int InProtectedFolder(const LeadByteRanges& lead) {
  // As the system names them; a 32-bit program on 64-bit Windows finds C:\Program Files
  // only under ProgramW6432 (its ProgramFiles is the (x86) one).
  static const char* const kRoots[] = {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432",
                                       "ProgramData"};
  char root[kHomePrefixCapacity];
  const auto under = [&](const char* name) {
    return Variable(name, root) != 0 && IsInsideFolder(HomePrefix, root, lead) != 0;
  };
  return std::any_of(std::begin(kRoots), std::end(kRoots), under) ||
         (WindowsFolder(root) != 0 && IsInsideFolder(HomePrefix, root, lead) != 0);
}
