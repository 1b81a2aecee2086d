// What a save needs before it writes, and what the user is told when it cannot: pure rules,
// so they are tested natively. The platform side is CheckSettingsWritable.
#pragma once

#include <cstddef>

#include "settings/setting_rules.h"
#include "shell/code_page.h"
#include "validation/field_rules.h"

// "key=value" and CR LF.
constexpr std::size_t SavedLineBound(std::size_t key_size, std::size_t value_length) {
  return (key_size - 1) + 1 + value_length + 2;
}

// The most a save can add to the file: the six lines with their longest values (a toggle's
// is one character; the typed fields' are the longest texts their rules pass), the section's
// heading where the section is new, and a blank and a line ending after a last line that
// had none; twice that in a file of UTF-16 units.
constexpr std::size_t kSaveGrowthBound =
    2 * (1 + 2 + (sizeof kOptionsSection - 1) + 2 + 2 +
         SavedLineBound(sizeof kKeyResolution, 1) + SavedLineBound(sizeof kKeyVideoBackBuffer, 1) +
         SavedLineBound(sizeof kKeyHardwareFills, 1) + SavedLineBound(sizeof kKeyCompatibility, 1) +
         SavedLineBound(sizeof kKeySocket, kSocketMaxDigits) +
         SavedLineBound(sizeof kKeyDestNet, sizeof kAddressMask - 1));

// 1 when `free_bytes` on the file's volume hold the whole file as it will be after the save:
// a save writes a whole copy of it, and where it writes in place, a write that fails
// half-way would leave the file half changed (the platform's own writer was seen to cut the
// file and still report success).
int HasRoomForSave(unsigned long long file_size, unsigned long long free_bytes);

// Why a save was refused before anything was written.
struct SaveRefusal {
  unsigned long error;  // the platform's error code (ERROR_DISK_FULL for the room check)
  int read_only;        // the file carries the read-only attribute
  int disk_full;        // the volume lacks room for the file after the save
  int not_a_file;       // a folder stands where the file should be
  int on_disc;          // the file's drive is a CD-ROM drive
};

enum SaveAdvice {
  kAdviceGeneral,
  kAdviceReadOnly,
  kAdviceAdministrator,
  kAdviceDiskFull,
  kAdviceDisc,
};

constexpr unsigned long kErrorAccessDenied = 5;  // ERROR_ACCESS_DENIED
constexpr unsigned long kErrorWriteProtect = 19;  // ERROR_WRITE_PROTECT
constexpr unsigned long kErrorDiskFull = 112;    // ERROR_DISK_FULL

// The advice that fits a refusal. A disc, or a medium the system calls write-protected,
// cannot be written whatever else is said of it (a disc reports no free space, and its
// files are read-only): the remedy is a copy on the hard disk. Access denied to a file that
// is not read-only, on a system that keeps folders for administrators
// (`administrators_folders`: Windows Vista to 11), in such a folder (`protected_folder`:
// under Program Files, ProgramData or the Windows folder), is that protection. Elsewhere (a
// share you may only read, a folder guarded by Controlled folder access) and on older
// systems, running as administrator is no remedy. A folder in the file's place gets the
// general advice.
SaveAdvice ChooseSaveAdvice(const SaveRefusal& refusal, int administrators_folders,
                            int protected_folder);

// The root of the drive or network share that holds `path` ("C:\", "\\server\share\"), for
// the free-space query of systems that take only a root; 0 (and an empty root) when `path`
// names neither.
int DriveRootOf(const char* path, const LeadByteRanges& lead, char* root, std::size_t capacity);
