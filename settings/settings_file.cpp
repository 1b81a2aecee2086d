// The keys of the settings file and the check before a save. The settings path is formed afresh
// for every read and write, from the settings file's folder (HomePrefix: the program's own, or
// its per-user copy's on Windows Vista to 11).
#include "settings/settings_file.h"

#include <windows.h>

#include "settings/save_steps.h"
#include "settings/settings_folder.h"
#include "settings/settings_text.h"
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

namespace {

// `count` bytes at `offset` of `file`, read into `bytes` or written from them: 0, or the
// reason. The offsets of a file the editor takes stay below 2 GB.
unsigned long TransferAt(HANDLE file, TextOffset offset, unsigned char* bytes, DWORD count,
                         int write) {
  DWORD done = 0;
  if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER ||
      !(write ? WriteFile(file, bytes, count, &done, nullptr)
              : ReadFile(file, bytes, count, &done, nullptr))) {
    return GetLastError();
  }
  if (done == count) return 0;
  return write ? ERROR_DISK_FULL : ERROR_HANDLE_EOF;  // cut short meanwhile
}

// The scan of the whole file, then each change from the end towards the front: the rest of
// the file moved to make room or close up, the new text written, the new end set. Its
// buffer, which serves the scan and then each change's text, gets a frame of its own.
__attribute__((noinline)) unsigned long EditOpenFile(HANDLE file, TextScan& scan,
                                                     const OptionValues& values,
                                                     const LeadByteRanges& lead) {
  unsigned char text[kSpliceTextCapacity];
  for (DWORD got = 0, pieces = 0;; ++pieces) {
    if (!ReadFile(file, text, sizeof text, &got, nullptr)) return GetLastError();
    if (pieces == 0) BeginTextScan(&scan, lead, text, got);
    if (got == 0) break;
    ScanText(&scan, text, got);
  }
  EndTextScan(&scan);
  if (scan.too_long) return ERROR_FILE_TOO_LARGE;
  TextOffset end = scan.position;
  unsigned long error = 0;
  for (std::size_t i = scan.splice_count; i-- > 0 && error == 0;) {
    const TextSplice& splice = scan.splices[i];
    const std::size_t length = SpliceText(scan, values, splice.what, text, sizeof text);
    if (length > sizeof text) return ERROR_FILE_TOO_LARGE;
    const TextOffset rest = splice.at + splice.skip;
    if (length != splice.skip) {
      error = CopyBytes(file, rest, file, splice.at + static_cast<TextOffset>(length), end - rest);
    }
    if (error == 0) error = TransferAt(file, splice.at, text, static_cast<DWORD>(length), 1);
    end += static_cast<TextOffset>(length) - splice.skip;
  }
  // Looked up, not imported: its import would take the import section one step further.
  BOOL(WINAPI * set_end)(HANDLE) = nullptr;
  LookUpKernel("SetEndOfFile", &set_end);
  if (error == 0 && (SetFilePointer(file, static_cast<LONG>(end), nullptr, FILE_BEGIN) ==
                         INVALID_SET_FILE_POINTER ||
                     set_end == nullptr || !set_end(file))) {
    error = GetLastError();
  }
  return error;
}

}  // namespace

unsigned long CopyBytes(HANDLE from, DWORD from_at, HANDLE to, DWORD to_at, DWORD count) {
  unsigned char chunk[1536];
  const int backwards = from == to && to_at > from_at;
  unsigned long error = 0;
  for (DWORD left = count; left != 0 && error == 0;) {
    const DWORD n = left < sizeof chunk ? left : sizeof chunk;
    left -= n;
    const DWORD at = backwards ? left : count - left - n;
    error = TransferAt(from, from_at + at, chunk, n, 0);
    if (error == 0) error = TransferAt(to, to_at + at, chunk, n, 1);
  }
  return error;
}

unsigned long EditOptionValues(const OptionValues& values, const LeadByteRanges& lead,
                               const char* file) {
  HANDLE opened = OpenSharedFile(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (opened == INVALID_HANDLE_VALUE) return GetLastError();
  TextScan scan;
  const unsigned long error = EditOpenFile(opened, scan, values, lead);
  CloseHandle(opened);
  return error;
}

int ReadsBackOptionValues(const OptionValues& values, ProfileReadCall read, const char* file) {
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    char value[kSettingValueCapacity];
    // No value a save writes is "=": a key the reader does not find reads as one.
    read(kOptionsSection, SavedKey(key), "=", value, sizeof value, file);
    if (!TextEquals(value, SavedValue(values, key))) return 0;
  }
  return 1;
}

int WriteOptionValues(const OptionValues& values, ProfileWriteCall write, const char* file) {
  int all_written = 1;
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    if (!write(kOptionsSection, SavedKey(key), SavedValue(values, key), file)) all_written = 0;
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
  calls.read = GetPrivateProfileStringA;
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

int ReadFileInformation(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = OpenSharedFile(path, 0, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const BOOL described = GetFileInformationByHandle(file, info);
  CloseHandle(file);
  return described;
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
    // The size of the file the name leads to: Windows describes a symbolic link itself to
    // FindFirstFile, as 0 bytes.
    BY_HANDLE_FILE_INFORMATION info;
    if (ReadFileInformation(path, &info)) {
      found.nFileSizeHigh = info.nFileSizeHigh;
      found.nFileSizeLow = info.nFileSizeLow;
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

