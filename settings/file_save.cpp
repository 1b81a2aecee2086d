// A save's steps on the platform: the copy, the keys, the flush, the rename. Their order,
// and every way back to writing in place, are in save_steps.
#include "settings/file_save.h"

#include <windows.h>

#include "settings/save_steps.h"
#include "settings/settings_folder.h"
#include "shell/home_directory.h"
#include "shell/look_up.h"

namespace {

// One save's files and calls, handed to each step.
struct FileSave {
  const SaveCalls* calls;
  const OptionValues* values;
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
  HANDLE from = OpenSharedFile(save.file, GENERIC_READ, OPEN_EXISTING);
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
    HANDLE to = OpenSharedFile(save.copy, GENERIC_WRITE, CREATE_ALWAYS);
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
// otherwise the reason, and the save writes in place.
unsigned long KeepOwnPermissions(const FileSave& save) {
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
  SetFileAttributesA(save.copy, KeptAttributes(save.attributes));
  const unsigned long kept = KeepOwnPermissions(save);
  if (kept != 0) return kept;
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
    return WriteOptionValues(*save.values, save.calls->write, target) ? 0 : 1;
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

int SaveSettingsFile(const SaveCalls& calls, const OptionValues& values, unsigned long* error) {
  FileSave save;
  save.calls = &calls;
  save.values = &values;
  if (!FormatSettingsPath(save.file, sizeof save.file, HomePrefix) ||
      !FormatPathInFolder(save.copy, sizeof save.copy, HomePrefix, kSaveCopyFileName)) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return 0;
  }
  return RunSave(DoSaveStep, &save, calls.MoveFileExA != nullptr, error);
}
