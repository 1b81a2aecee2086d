// How a save reaches the disk so that a power cut at any moment leaves the settings file
// whole: the old file or the new one. Pure: the platform's steps come in as calls, so the
// order of the steps and every way back to writing in place are tested natively.
#pragma once

#include <cstddef>

// The platform's steps of one save.
enum SaveStep {
  // A copy of the settings file in its folder, under a fixed name of our own, holding the
  // file's content (nothing where the file is missing). Refused for a file that a rename
  // must not replace (see MayReplaceByRename).
  kMakeCopy,
  // The six keys and the profile cache's flush, through the platform's profile calls, into
  // the copy (`to_copy` 1) or into the settings file itself; not 0 when a key failed.
  kWriteKeys,
  // The data written reaches the disk, not only the system's cache.
  kFlushToDisk,
  // The copy, given the file's attributes, takes the file's name in one rename.
  kReplaceFile,
  kRemoveCopy,
  // A short wait before the rename is tried again.
  kPause,
};

// Carries out one step; 0 for success, else the platform's error code. One call for all
// the steps keeps the program small: a table of them would be kept as a copy in the file.
using SaveStepCall = unsigned long (*)(void* context, SaveStep step, int to_copy);

// A rename refused with these is taken for another program holding a file open for a
// moment (a virus scanner looking at the new copy, say), and tried again.
constexpr unsigned long kErrorSharingViolation = 32;  // ERROR_SHARING_VIOLATION
constexpr int kReplaceTries = 10;
constexpr unsigned long kReplacePauseMilliseconds = 100;

// The file attributes a replace cares about.
constexpr unsigned long kAttributeReadOnly = 0x1;
constexpr unsigned long kAttributeHidden = 0x2;
constexpr unsigned long kAttributeSystem = 0x4;
constexpr unsigned long kAttributeArchive = 0x20;
constexpr unsigned long kAttributeReparsePoint = 0x400;
constexpr unsigned long kAttributeEncrypted = 0x4000;

// 1 when a copy renamed over the file may take its place: not for a hard link with other
// names or a link to another file (the rename would cut the link and the other names would
// keep the old settings), not for a read-only file, which the rename is refused for, and
// not for an encrypted one, whose copy would lie on the disk unencrypted.
int MayReplaceByRename(unsigned long attributes, unsigned long link_count);

// The attributes the copy takes before it replaces the file: the file's hidden and system
// marks, and always the archive mark, which tells backups that the content changed.
unsigned long KeptAttributes(unsigned long attributes);

// 1 when the security descriptor `descriptor` (`size` bytes, self-relative, as
// GetFileSecurityA gives it) holds permissions of the file's own: an entry not handed down
// by its folder, or inheritance turned off. A copy made in the folder would take only what
// the folder hands down. No descriptor, or one without an access list (a file system without
// security, such as FAT), holds none.
int HasOwnPermissions(const unsigned char* descriptor, std::size_t size);

// Saves through a copy where `through_copy` (Windows NT, where a rename can replace a file):
// copy, write the keys into it, flush it to disk, rename it over the file. Where that cannot
// be done, or any step of it fails, the copy is removed and the keys are written into the
// file itself and flushed, as on the systems without such a rename. 1 when the file in place
// holds the new content; otherwise 0 and `*error` is the reason (0 when none is known).
int RunSave(SaveStepCall step, void* context, int through_copy, unsigned long* error);
