// The order of a save's steps, and when it falls back to writing in place.
#include "settings/save_steps.h"

#include <cstddef>

#include "settings/save_check.h"

int MayReplaceByRename(unsigned long attributes, unsigned long link_count) {
  return link_count <= 1 &&
         (attributes & (kAttributeReparsePoint | kAttributeReadOnly | kAttributeEncrypted)) == 0;
}

unsigned long KeptAttributes(unsigned long attributes) {
  return (attributes & (kAttributeHidden | kAttributeSystem)) | kAttributeArchive;
}

namespace {

// A little-endian field of two bytes, as the descriptor and its access list hold them.
std::size_t Field(const unsigned char* at) { return at[0] | static_cast<std::size_t>(at[1]) << 8; }

constexpr unsigned kDaclPresent = 0x04;         // SE_DACL_PRESENT, in the control's low byte
constexpr unsigned kDaclProtected = 0x10;       // SE_DACL_PROTECTED, in its high byte
constexpr unsigned kInheritedAce = 0x10;        // INHERITED_ACE
constexpr std::size_t kDescriptorHeader = 20;   // revision, control, four offsets
constexpr std::size_t kAclHeader = 8;           // revision, size, entry count
constexpr std::size_t kAceHeader = 4;           // type, flags, size

}  // namespace

int HasOwnPermissions(const unsigned char* descriptor, std::size_t size) {
  if (size < kDescriptorHeader || (descriptor[2] & kDaclPresent) == 0) return 0;
  // No list's offset (a null list: everyone may do everything) has nothing of the file's own.
  const std::size_t offset = Field(descriptor + 16) | Field(descriptor + 18) << 16;
  if (offset == 0 || offset > size - kAclHeader) return 0;
  if (descriptor[3] & kDaclProtected) return 1;
  const unsigned char* acl = descriptor + offset;
  const std::size_t end = Field(acl + 2) < size - offset ? Field(acl + 2) : size - offset;
  std::size_t at = kAclHeader;
  // Bounded by the entry count, so an entry that claims no size cannot hold the walk.
  for (std::size_t i = Field(acl + 4); i > 0 && at + kAceHeader <= end; --i) {
    if ((acl[at + 1] & kInheritedAce) == 0) return 1;
    at += Field(acl + at + 2);
  }
  return 0;
}

namespace {

int HeldOpen(unsigned long error) {
  return error == kErrorSharingViolation || error == kErrorAccessDenied;
}

// 0 once the save has a copy of its own. A copy in the way is another save's for as long as it
// changes; one that stays as it was is cleared away. Bounded: a copy that keeps changing is
// given up on, and the save then writes in place.
unsigned long MakeOwnCopy(SaveStepCall step, void* context) {
  for (int tries = 1;; ++tries) {
    unsigned long error = step(context, kMakeCopy, 1);
    if (error != kErrorFileExists || tries == kCopyTries) return error;
    if (tries % kCopyWaits == 0) {
      error = step(context, kClearLeftCopy, 1);
      if (error == 0) continue;
      if (error != kErrorCopyInUse) return error;
    }
    step(context, kPause, 1);
  }
}

// 0 once the copy has replaced the file. The file is checked before every rename: a program
// that held it open may have written it before it let go, and a copy made before that must
// not replace it. A refusal that looks like another program holding a file open is tried
// again, a bounded number of times.
unsigned long SaveThroughCopy(SaveStepCall step, void* context) {
  unsigned long error = kErrorFileChanged;
  for (int round = 0; round < kSaveRounds && error == kErrorFileChanged; ++round) {
    if (round > 0) step(context, kRemoveCopy, 1);  // again, from the file as it now is
    error = MakeOwnCopy(step, context);
    if (error == 0) error = step(context, kWriteKeys, 1);
    // Data that has not reached the disk must never be renamed into place: after a power cut
    // the new name could hold nothing, or zeros.
    if (error == 0) error = step(context, kFlushToDisk, 1);
    for (int tries = 1; error == 0; ++tries) {
      error = step(context, kCheckFile, 1);
      if (error == 0) error = step(context, kReplaceFile, 1);
      if (error == 0) return 0;
      if (!HeldOpen(error) || tries == kReplaceTries) break;
      step(context, kPause, 1);
      error = 0;
    }
  }
  return error;
}

}  // namespace

int RunSave(SaveStepCall step, void* context, int through_copy, unsigned long* error) {
  *error = 0;
  const unsigned long failed = through_copy ? SaveThroughCopy(step, context) : 1;
  if (failed == 0) return 1;
  step(context, kRemoveCopy, 0);
  // Writing in place would make a file beside the only whole copy, which the next save would
  // then take for left over.
  if (failed == kErrorOnlyCopy) return 0;
  if (step(context, kWriteKeys, 0) != 0) return 0;
  *error = step(context, kFlushToDisk, 0);
  return *error == 0;
}
