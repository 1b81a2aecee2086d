// The order of a save's steps, and when it falls back to writing in place.
#include "settings/save_steps.h"

#include <cstddef>

#include "settings/save_check.h"

int MayReplaceByRename(unsigned long attributes, unsigned long link_count, int own_entry) {
  return own_entry && link_count <= 1 &&
         (attributes & (kAttributeReparsePoint | kAttributeReadOnly | kAttributeEncrypted)) == 0;
}

unsigned long KeptAttributes(unsigned long attributes) {
  return (attributes & (kAttributeHidden | kAttributeSystem)) | kAttributeArchive;
}

namespace {

// A little-endian number of two bytes, as the descriptor and its access list hold them.
std::size_t TwoByteNumber(const unsigned char* at) {
  return at[0] | static_cast<std::size_t>(at[1]) << 8;
}

// A self-relative SECURITY_DESCRIPTOR: revision, padding, the control word, then the offsets
// of the owner, the group, the system list and the access list, four bytes each.
constexpr std::size_t kDescriptorHeader = 20;
constexpr std::size_t kControlLowByte = 2;
constexpr std::size_t kControlHighByte = 3;
constexpr std::size_t kAccessListOffset = 16;
constexpr unsigned kDaclPresent = 0x04;    // SE_DACL_PRESENT, in the control's low byte
constexpr unsigned kDaclProtected = 0x10;  // SE_DACL_PROTECTED, in its high byte
// An ACL: revision, padding, its size, its entry count, padding.
constexpr std::size_t kAclHeader = 8;
constexpr std::size_t kAclSize = 2;
constexpr std::size_t kAclCount = 4;
// An ACE_HEADER: type, flags, the entry's size.
constexpr std::size_t kAceHeader = 4;
constexpr std::size_t kAceFlags = 1;
constexpr std::size_t kAceSize = 2;
constexpr unsigned kInheritedAce = 0x10;  // INHERITED_ACE, in the flags

}  // namespace

int HasOwnPermissions(const unsigned char* descriptor, std::size_t size) {
  if (size < kDescriptorHeader || (descriptor[kControlLowByte] & kDaclPresent) == 0) return 0;
  // No list's offset (a null list: everyone may do everything) has nothing of the file's own.
  const unsigned char* field = descriptor + kAccessListOffset;
  const std::size_t offset = TwoByteNumber(field) | TwoByteNumber(field + 2) << 16;
  if (offset == 0 || offset > size - kAclHeader) return 0;
  if (descriptor[kControlHighByte] & kDaclProtected) return 1;
  const unsigned char* acl = descriptor + offset;
  const std::size_t acl_size = TwoByteNumber(acl + kAclSize);
  const std::size_t end = acl_size < size - offset ? acl_size : size - offset;
  std::size_t at = kAclHeader;
  // Bounded by the entry count, so an entry that claims no size cannot hold the walk.
  for (std::size_t i = TwoByteNumber(acl + kAclCount); i > 0 && at + kAceHeader <= end; --i) {
    if ((acl[at + kAceFlags] & kInheritedAce) == 0) return 1;
    at += TwoByteNumber(acl + at + kAceSize);
  }
  return 0;
}

int OpensAgain(unsigned long error, int tries) {
  return error == kErrorSharingViolation && tries < kReplaceTries;
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
  const unsigned long written = step(context, kWriteKeys, 0);
  if (written != 0) {
    // The platform's reason, where it gave one.
    *error = written == kErrorNotReadBack ? 0 : written;
    return 0;
  }
  *error = step(context, kFlushToDisk, 0);
  return *error == 0;
}
