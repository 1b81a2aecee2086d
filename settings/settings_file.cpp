// The keys of the settings file and the check before a save. The settings path is formed afresh
// for every read and write, from the settings file's folder (HomePrefix: the program's own, or
// its per-user copy's on Windows Vista to 11).
#include "settings/settings_file.h"

#include <windows.h>

#include "settings/save_steps.h"
#include "settings/settings_folder.h"
#include "shell/bounded_text.h"
#include "shell/home_directory.h"
#include "shell/look_up.h"

namespace {

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

int WriteOptionValues(const OptionValues& values, ProfileWriteCall write, const char* file) {
  int all_written = 1;
  for (std::size_t i = 0; i < kToggleBindingCount; ++i) {
    const ToggleBinding& binding = kToggleBindings[i];
    if (binding.saved && !write(binding.section, binding.key, values.toggles[i], file)) {
      all_written = 0;
    }
  }
  for (std::size_t i = 0; i < kTextBindingCount; ++i) {
    const TextBinding& binding = kTextBindings[i];
    if (!write(binding.section, binding.key, values.texts[i], file)) all_written = 0;
  }
  FlushSettings(file, write);
  return all_written;
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
  LookUpKernel("GetDiskFreeSpaceExA", &calls.GetDiskFreeSpaceExA);
  // Whatever version the system reports: a compatibility mode makes Windows 10 say it is
  // Windows 95, whose stub only fails, and the save then writes in place.
  LookUpKernel("MoveFileExA", &calls.MoveFileExA);
  return calls;
}

HANDLE OpenSharedFile(const char* path, DWORD access, DWORD disposition) {
  for (int tries = 1;; ++tries) {
    HANDLE file = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || !OpensAgain(GetLastError(), tries)) return file;
    Sleep(kReplacePauseMilliseconds);
  }
}

int CheckSettingsWritable(const SaveCalls& calls, const LeadByteRanges& lead,
                          SaveRefusal* refusal) {
  *refusal = SaveRefusal{0, 0, 0, 0, SettingsOnDisc(lead)};
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
  if (!refusal->on_disc && FreeBytesForSettings(calls, lead, &free_bytes) &&
      !HasRoomForSave(size, free_bytes)) {
    refusal->error = ERROR_DISK_FULL;
    refusal->disk_full = 1;
    return 0;
  }
  // A missing file is tried by making a new file under the name of the save's copy, removed
  // at once: a save stopped here leaves no empty settings file behind. A copy already in the
  // way says as much, and is the save's to deal with.
  if (!exists) FormatPathInFolder(path, sizeof path, HomePrefix, kSaveCopyFileName);
  HANDLE file = OpenSharedFile(path, GENERIC_WRITE, exists ? OPEN_EXISTING : CREATE_NEW);
  if (file == INVALID_HANDLE_VALUE) {
    refusal->error = GetLastError();
    return !exists && refusal->error == ERROR_FILE_EXISTS;
  }
  CloseHandle(file);
  if (!exists) DeleteFileA(path);
  return 1;
}

