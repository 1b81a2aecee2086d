// A save's steps on the platform: the copy (which is also the save's lock), the keys, the
// flush, the look at the file, the rename. Their order, and every way back to writing in
// place, are in save_steps.
#include "settings/file_save.h"

#include <windows.h>

#include "settings/folder_rules.h"
#include "settings/save_check.h"
#include "settings/save_steps.h"
#include "settings/settings_folder.h"
#include "settings/settings_text.h"
#include "shell/home_directory.h"
#include "shell/look_up.h"

// The pure rules name the platform's codes themselves; here both are seen.
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED &&
                  kErrorWriteProtect == ERROR_WRITE_PROTECT && kErrorDiskFull == ERROR_DISK_FULL &&
                  kErrorSharingViolation == ERROR_SHARING_VIOLATION &&
                  kErrorFileExists == ERROR_FILE_EXISTS,
              "error codes differ from the platform's");
static_assert(kAttributeReadOnly == FILE_ATTRIBUTE_READONLY &&
                  kAttributeHidden == FILE_ATTRIBUTE_HIDDEN &&
                  kAttributeSystem == FILE_ATTRIBUTE_SYSTEM &&
                  kAttributeArchive == FILE_ATTRIBUTE_ARCHIVE &&
                  kAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT &&
                  kAttributeEncrypted == FILE_ATTRIBUTE_ENCRYPTED,
              "file attributes differ from the platform's");

namespace {

// One save's files and calls, handed to each step. What the system says of a file
// (GetFileInformationByHandle) tells whether it is the same one, and unchanged.
struct FileSave {
  const SaveCalls* calls;
  const OptionValues* values;
  const LeadByteRanges* lead;
  char file[kSettingsPathCapacity];
  char copy[kSettingsPathCapacity];
  BY_HANDLE_FILE_INFORMATION copied;  // the settings file as it was copied
  BY_HANDLE_FILE_INFORMATION own;     // the save's own copy as it was made
  BY_HANDLE_FILE_INFORMATION seen;    // a copy in the way, as it was seen last
  int exists;                         // the settings file was there when copied
  int own_made;
  int seen_valid;
};

// The same file: on the same volume, under the same index.
int SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The same file, with the same size and last write.
int Unchanged(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return SameFile(a, b) && a.nFileSizeHigh == b.nFileSizeHigh &&
         a.nFileSizeLow == b.nFileSizeLow &&
         a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime &&
         a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime;
}

// The copy under the copy's name is the one this save made.
int IsOwnCopy(const FileSave& save) {
  BY_HANDLE_FILE_INFORMATION now;
  return save.own_made && ReadFileInformation(save.copy, &now) && SameFile(now, save.own);
}

// Room for a path as the system resolves it, which can be longer than the path it was opened
// by (short names become long ones, a drive letter a folder's full path).
constexpr std::size_t kFinalPathCapacity = 2 * kSettingsPathCapacity;

// 1 when `opened`, opened under the settings file's name, is its folder's own entry of that
// name, not a file that a symbolic link leads to (elsewhere, or under another name): the
// system's final paths of the file and of its folder, every link, junction and mount point
// followed, are compared, so that a folder reached through a junction, a mount point or
// another drive letter does not count. Before Vista, which has neither the call nor symbolic
// links to files, the name is the file's own; where a final path cannot be had it is not,
// and the save writes in place, keeping any link. Its buffers get a frame of their own.
__attribute__((noinline)) int IsOwnEntry(const FileSave& save, HANDLE opened) {
  DWORD(WINAPI * final_path)(HANDLE, LPSTR, DWORD, DWORD) = nullptr;
  LookUpKernel("GetFinalPathNameByHandleA", &final_path);
  if (final_path == nullptr) return 1;
  const HANDLE handles[] = {opened, CreateFileA(HomePrefix, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING,
                                                FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  char paths[2][kFinalPathCapacity];
  int known = 1;
  for (int i = 0; i < 2; ++i) {
    const DWORD length = final_path(handles[i], paths[i], kFinalPathCapacity, 0);
    known &= length != 0 && length < kFinalPathCapacity;
  }
  if (handles[1] != INVALID_HANDLE_VALUE) CloseHandle(handles[1]);
  return known && IsEntryOfFolder(paths[0], paths[1], kSettingsFileName, *save.lead);
}

unsigned long MakeCopy(FileSave& save) {
  // Its information is read before the file is: a write meanwhile then shows as a change.
  save.exists = ReadFileInformation(save.file, &save.copied);
  if (!save.exists) save.copied.dwFileAttributes = 0;
  HANDLE from = OpenSharedFile(save.file, GENERIC_READ, OPEN_EXISTING);
  if (from == INVALID_HANDLE_VALUE && save.exists) return GetLastError();
  // The attributes of the name itself: a handle describes the file a link leads to.
  WIN32_FIND_DATAA name;
  if (save.exists && !(FindFile(save.file, &name) &&
                       MayReplaceByRename(name.dwFileAttributes, save.copied.nNumberOfLinks,
                                          IsOwnEntry(save, from)))) {
    CloseHandle(from);
    return ERROR_NOT_SUPPORTED;
  }
  // A new file, never one that is there: whoever made it (another save, here or on another
  // PC sharing the folder) owns it.
  HANDLE to = OpenSharedFile(save.copy, GENERIC_WRITE, CREATE_NEW);
  unsigned long error = 0;
  if (to == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    if (error == ERROR_FILE_EXISTS && !save.seen_valid) {
      save.seen_valid = ReadFileInformation(save.copy, &save.seen);
    }
  } else {
    save.own_made = GetFileInformationByHandle(to, &save.own);
    // The size the file had when its information was read: a file the editor takes stays
    // below 2 GB. One that grew meanwhile is noticed before the copy takes its place, and
    // one cut short meanwhile is copied again as it now is.
    if (save.exists) {
      error = save.copied.nFileSizeHigh != 0 || save.copied.nFileSizeLow > kLongestText
                  ? ERROR_FILE_TOO_LARGE
                  : CopyBytes(from, 0, to, 0, save.copied.nFileSizeLow);
      if (error == ERROR_HANDLE_EOF) error = kErrorFileChanged;
    }
    CloseHandle(to);
  }
  if (from != INVALID_HANDLE_VALUE) CloseHandle(from);
  return error;
}

unsigned long CheckFile(const FileSave& save) {
  BY_HANDLE_FILE_INFORMATION now;
  const int exists = ReadFileInformation(save.file, &now);
  const int same = exists == save.exists && (!exists || Unchanged(now, save.copied));
  return same && IsOwnCopy(save) ? 0 : kErrorFileChanged;
}

unsigned long ClearLeftCopy(FileSave& save) {
  BY_HANDLE_FILE_INFORMATION now;
  if (!ReadFileInformation(save.copy, &now)) {
    save.seen_valid = 0;
    return 0;
  }
  if (!save.seen_valid || !Unchanged(now, save.seen)) {
    save.seen = now;
    save.seen_valid = 1;
    return kErrorCopyInUse;
  }
  save.seen_valid = 0;
  // Without the settings file it may be the only whole copy of the settings; a rename every
  // Windows has, which never replaces a file that appeared meanwhile.
  BY_HANDLE_FILE_INFORMATION file;
  if (!ReadFileInformation(save.file, &file)) {
    return MoveFileA(save.copy, save.file) ? 0 : kErrorOnlyCopy;
  }
  return DeleteFileA(save.copy) ? 0 : GetLastError();
}

unsigned long FlushToDisk(const char* path) {
  HANDLE file = OpenSharedFile(path, GENERIC_WRITE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  const unsigned long error = FlushFileBuffers(file) ? 0 : GetLastError();
  CloseHandle(file);
  return error;
}

// Gives the copy the file's own permissions, where it has any. A copy made in the folder
// takes only what the folder hands down: an administrator who let users change halvern.ini
// alone (the usual way to let them play a game under Program Files) would lose that grant,
// and the game could no longer write its file. 0 where nothing was needed or it was done;
// otherwise the reason, and the save writes in place. Its buffer, like CopyContent's, gets a
// frame of its own.
__attribute__((noinline)) unsigned long KeepOwnPermissions(const FileSave& save) {
  if (!save.exists) return 0;
  // Looked up, not imported: Win32s may lack them, and 95, 98 and Me have stubs that fail.
  BOOL(WINAPI * get_security)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD,
                              LPDWORD) = nullptr;
  BOOL(WINAPI * set_security)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) = nullptr;
  const HMODULE advapi = LoadLibraryA("ADVAPI32");
  LookUp(advapi, "GetFileSecurityA", &get_security);
  LookUp(advapi, "SetFileSecurityA", &set_security);
  if (get_security == nullptr || set_security == nullptr) return 0;
  // Room for a list of a few dozen entries; a longer one cannot be carried over whole.
  alignas(DWORD) unsigned char descriptor[1024];
  DWORD size = 0;
  if (!get_security(save.file, DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor,
                    &size)) {
    // No security (those stubs, a FAT volume): nothing to keep. Too long: not known.
    const DWORD error = GetLastError();
    return error == ERROR_INSUFFICIENT_BUFFER ? error : 0;
  }
  if (!HasOwnPermissions(descriptor, size < sizeof descriptor ? size : sizeof descriptor)) {
    return 0;
  }
  return set_security(save.copy, DACL_SECURITY_INFORMATION, descriptor) ? 0 : GetLastError();
}

unsigned long RenameCopyOverFile(const FileSave& save) {
  SetFileAttributesA(save.copy, KeptAttributes(save.copied.dwFileAttributes));
  const unsigned long kept = KeepOwnPermissions(save);
  if (kept != 0) return kept;
  // A file that appeared since the copy was made is not replaced by it.
  DWORD flags = (save.exists ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH;
  for (;;) {
    if (save.calls->MoveFileExA(save.copy, save.file, flags)) return 0;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return kErrorFileChanged;
    // A system that does not know the write-through flag refuses it as an invalid
    // parameter; a rename within one folder does not need it.
    if (error != ERROR_INVALID_PARAMETER || (flags & MOVEFILE_WRITE_THROUGH) == 0) return error;
    flags &= ~MOVEFILE_WRITE_THROUGH;
  }
}

// The values into `target` by the editor's rule, then read back through the platform. Where
// the platform reads that text otherwise (a letter case, a blank, a mark or a byte it takes
// in another way), its own writer puts them in, where its own reader finds them.
unsigned long WriteValues(const FileSave& save, const char* target) {
  const unsigned long error = EditOptionValues(*save.values, *save.lead, target);
  const SaveCalls& calls = *save.calls;
  if (error != 0 || ReadsBackOptionValues(*save.values, calls.read, target)) return error;
  return WriteOptionValues(*save.values, calls.write, target) ? 0 : kErrorNotReadBack;
}

unsigned long DoSaveStep(void* context, SaveStep step, int to_copy) {
  FileSave& save = *static_cast<FileSave*>(context);
  const char* target = to_copy ? save.copy : save.file;
  if (step == kMakeCopy) return MakeCopy(save);
  if (step == kWriteKeys) return WriteValues(save, target);
  if (step == kFlushToDisk) return FlushToDisk(target);
  if (step == kCheckFile) return CheckFile(save);
  if (step == kReplaceFile) return RenameCopyOverFile(save);
  if (step == kClearLeftCopy) return ClearLeftCopy(save);
  if (step == kRemoveCopy) {
    if (IsOwnCopy(save)) DeleteFileA(save.copy);
  } else {
    Sleep(kReplacePauseMilliseconds);
  }
  return 0;
}

// 1 when the file holds `values`; otherwise 0 with `*error` the reason, 0 when none is known.
int SaveSettingsFile(const SaveCalls& calls, const OptionValues& values,
                     const LeadByteRanges& lead, unsigned long* error) {
  FileSave save;
  save.calls = &calls;
  save.values = &values;
  save.lead = &lead;
  save.own_made = 0;
  save.seen_valid = 0;
  if (!FormatSettingsPath(save.file, sizeof save.file, HomePrefix) ||
      !FormatPathInFolder(save.copy, sizeof save.copy, HomePrefix, kSaveCopyFileName)) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return 0;
  }
  // The profile cache of 95, 98 and Me may hold another program's writes that have not
  // reached the disk, and holds the file as this program read it: the writes go to the disk
  // before the file is read, and the cache lets go of it, so that a later read finds the
  // file as saved.
  FlushSettings(save.file, calls.write);
  return RunSave(DoSaveStep, &save, calls.MoveFileExA != nullptr, error);
}

}  // namespace

int SaveOptions(const SaveCalls& calls, const OptionValues* values, const LeadByteRanges& lead,
                SaveAnswer* answer) {
  SaveRefusal refusal;
  if (CheckSettingsWritable(calls, lead, &refusal)) {
    unsigned long error = 0;
    if (values != nullptr && SaveSettingsFile(calls, *values, lead, &error)) return 1;
    // The check passed and the save failed all the same.
    refusal = SaveRefusal{error, 0, 0, 0, refusal.on_disc};
  }
  answer->error = refusal.error;
  answer->advice =
      ChooseSaveAdvice(refusal, KeepsFoldersForAdministrators(), InProtectedFolder(lead));
  FormatSettingsPath(answer->file, sizeof answer->file, HomePrefix);
  answer->folder = HomePrefix;
  return 0;
}
