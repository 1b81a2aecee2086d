// How a save reaches the disk so that a power cut at any moment leaves the settings file
// whole: the old file or the new one. Pure: the platform's steps come in as calls, so the
// order of the steps and every way back to writing in place are tested natively.
#pragma once

#include <cstddef>

// The platform's steps of one save.
enum SaveStep {
  // Makes the save's own copy of the settings file in its folder, under a fixed name, as a
  // new file, never over one that is there: the copy is also the save's lock against other
  // saves, in other programs or on other PCs sharing the folder. Copies the file's content
  // into it (nothing where the file is missing) and notes which file it copied. Refused for
  // a file that a rename must not replace (see MayReplaceByRename); kErrorFileExists where a
  // copy is in the way: another save's, or one that an interrupted save left.
  kMakeCopy,
  // The six keys into the copy (`to_copy` 1) or into the settings file itself, each byte
  // of the rest kept; not 0 when that failed (kErrorNotReadBack where the platform does not
  // read the values back).
  kWriteKeys,
  // The data written reaches the disk, not only the system's cache.
  kFlushToDisk,
  // 0 while the settings file is still the one copied (or still missing) and the copy still
  // the save's own; kErrorFileChanged once another program has written either.
  kCheckFile,
  // The copy, given the file's marks and permissions, takes the file's name in one rename.
  // It replaces only a file that was there when the copy was made: one that appeared since
  // is never replaced by a copy made without it (kErrorFileChanged).
  kReplaceFile,
  // Removes the save's own copy; a copy that is not the save's own is left alone.
  kRemoveCopy,
  // A short wait before a refused step is tried again.
  kPause,
  // Clears the copy in the way: 0 once it is gone; kErrorCopyInUse while another save uses it
  // (it changed since it was seen last). One that stayed as it was, an interrupted save
  // left: where the settings file is missing it may be the only whole copy of the settings
  // (a power cut during a rename that is no single step, as on FAT), and takes the file's
  // name; elsewhere it is removed. kErrorOnlyCopy where it could not take the file's name.
  kClearLeftCopy,
};

// Carries out one step; 0 for success, else the platform's error code. One call for all
// the steps keeps the program small: a table of them would be kept as a copy in the file.
using SaveStepCall = unsigned long (*)(void* context, SaveStep step, int to_copy);

// A rename refused with these is taken for another program holding a file open for a
// moment (a virus scanner looking at the new copy, say), and tried again.
constexpr unsigned long kErrorSharingViolation = 32;  // ERROR_SHARING_VIOLATION
constexpr unsigned long kErrorFileExists = 80;        // ERROR_FILE_EXISTS
// The program's own reasons (bit 29 marks codes that are not the system's). None reaches the
// user: the save then writes in place, or refuses with no reason known.
constexpr unsigned long kErrorFileChanged = 0x20000001;
constexpr unsigned long kErrorCopyInUse = 0x20000002;
constexpr unsigned long kErrorOnlyCopy = 0x20000003;
constexpr unsigned long kErrorNotReadBack = 0x20000004;

constexpr int kReplaceTries = 10;
constexpr unsigned long kReplacePauseMilliseconds = 100;
// A copy in the way is looked at again after this many pauses; a live save holds its copy
// for well under a second, and one that has not changed for two is taken for left over.
constexpr int kCopyWaits = 20;
constexpr int kCopyTries = 3 * kCopyWaits;
// A file another program writes while the save runs is copied afresh this often at most.
constexpr int kSaveRounds = 3;

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
// not for an encrypted one, whose copy would lie on the disk unencrypted. `attributes` are
// the name's own (a symbolic link's show a reparse point on Windows, though a handle opened
// on it describes the file it leads to); `own_entry` 0 where the file opened under the name
// is another than its folder's entry of that name (a link, as Wine's show, by no attribute).
int MayReplaceByRename(unsigned long attributes, unsigned long link_count, int own_entry);

// The attributes the copy takes before it replaces the file: the file's hidden and system
// marks, and always the archive mark, which tells backups that the content changed.
unsigned long KeptAttributes(unsigned long attributes);

// 1 when the security descriptor `descriptor` (`size` bytes, self-relative, as
// GetFileSecurityA gives it) holds permissions of the file's own: an entry not handed down
// by its folder, or inheritance turned off. A copy made in the folder would take only what
// the folder hands down. No descriptor, or one without an access list (a file system without
// security, such as FAT), holds none.
int HasOwnPermissions(const unsigned char* descriptor, std::size_t size);

// 1 when an open of the settings file or the save's copy, refused with `error` at try number
// `tries`, is tried again after a pause: a sharing violation is mostly a moment's hold (Wine
// renames a copy over the file holding the file it replaces unshared, so another save's open
// meets it; a virus scanner looks at a new file), and is waited out for as long as a refused
// rename is. Access denied is not: an open gets it for a read-only file or one without
// rights, which no wait changes.
int OpensAgain(unsigned long error, int tries);

// Saves through a copy where `through_copy` (a system that may rename one file over another):
// copy, write the keys into it, flush it to disk, and rename it over the file if the file is
// still the one copied, else start again from the file as it now is. Where that cannot be
// done, or any step of it fails, the keys are written into the file itself and flushed, as on
// the systems without such a rename; except where the only whole copy of the settings could
// not be put back in place, which is refused. 1 when the file in place holds the new
// content; otherwise 0 and `*error` is the reason (0 when none is known).
int RunSave(SaveStepCall step, void* context, int through_copy, unsigned long* error);
