// The settings path is formed afresh for every read and write, from the program's folder.
#include "settings/settings_file.h"

#include <windows.h>

#include "shell/bounded_text.h"
#include "shell/home_directory.h"
#include "shell/look_up.h"

namespace {

// Free bytes for this user on the volume that holds the program's folder. Under Wine, and
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

void FlushSettings(ProfileWriteCall write) {
  char path[kSettingsPathCapacity];
  // A null section, key and value is the platform's request to flush; its result is 0
  // when it did, so it says nothing about the writes.
  if (FormatSettingsPath(path, sizeof path, HomePrefix)) write(nullptr, nullptr, nullptr, path);
}

SaveCalls PlatformSaveCalls() {
  // Field by field: an initialiser list of addresses would be kept as a copy in the file.
  SaveCalls calls;
  calls.write = WritePrivateProfileStringA;
  calls.GetDiskFreeSpaceA = GetDiskFreeSpaceA;
  LookUp(GetModuleHandleA(kKernelModule), "GetDiskFreeSpaceExA", &calls.GetDiskFreeSpaceExA);
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
  HANDLE search = FindFirstFileA(path, &found);
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
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
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    refusal->error = GetLastError();
    return 0;
  }
  CloseHandle(file);
  return 1;
}
