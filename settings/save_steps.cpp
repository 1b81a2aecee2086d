// The order of a save's steps, and when it falls back to writing in place.
#include "settings/save_steps.h"

#include "settings/save_check.h"

int MayReplaceByRename(unsigned long attributes, unsigned long link_count) {
  return link_count <= 1 &&
         (attributes & (kAttributeReparsePoint | kAttributeReadOnly | kAttributeEncrypted)) == 0;
}

unsigned long KeptAttributes(unsigned long attributes) {
  return attributes & (kAttributeHidden | kAttributeSystem | kAttributeArchive);
}

namespace {

// 0 once the copy has replaced the file; a refusal that looks like another program holding
// a file open is tried again, a bounded number of times.
unsigned long SaveThroughCopy(SaveStepCall step, void* context) {
  unsigned long error = step(context, kMakeCopy, 1);
  if (error == 0) error = step(context, kWriteKeys, 1);
  // Data that has not reached the disk must never be renamed into place: after a power cut
  // the new name could hold nothing, or zeros.
  if (error == 0) error = step(context, kFlushToDisk, 1);
  for (int tries = 1; error == 0; ++tries) {
    error = step(context, kReplaceFile, 1);
    const int held_open = error == kErrorSharingViolation || error == kErrorAccessDenied;
    if (!held_open || tries == kReplaceTries) return error;
    step(context, kPause, 1);
    error = 0;
  }
  return error;
}

}  // namespace

int RunSave(SaveStepCall step, void* context, int through_copy, unsigned long* error) {
  *error = 0;
  if (through_copy && SaveThroughCopy(step, context) == 0) return 1;
  // Also removes a copy that an interrupted save left behind.
  step(context, kRemoveCopy, 0);
  if (step(context, kWriteKeys, 0) != 0) return 0;
  *error = step(context, kFlushToDisk, 0);
  return *error == 0;
}
