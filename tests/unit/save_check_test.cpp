// The rules a save checks before writing: room on the volume, the advice for a refusal,
// the drive to name.
#include <gtest/gtest.h>

#include <string>

#include "settings/save_check.h"

namespace {

TEST(HasRoomForSave, WantsTheWholeFileAfterTheSave) {
  const struct {
    unsigned long long file_size, free_bytes;
    int room;
  } rows[] = {
      {0, kSaveGrowthBound, 1},
      {0, kSaveGrowthBound - 1, 0},
      {4033, 4033 + kSaveGrowthBound, 1},
      {4033, 4033 + kSaveGrowthBound - 1, 0},
      {4033, 0, 0},  // a disk filled to the brim
      {4033, 100, 0},
      // Sizes past 4 GB, as a free-space query of a large disk reports them.
      {0x100000000ULL, 0x100000000ULL + kSaveGrowthBound, 1},
      {0x100000000ULL, 0xFFFFFFFFULL, 0},
      {~0ULL - 10, ~0ULL, 0},  // no wrap-around
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "file " << row.file_size << ", free " << row.free_bytes);
    EXPECT_EQ(HasRoomForSave(row.file_size, row.free_bytes), row.room);
  }
}

TEST(ChooseSaveAdvice, FitsTheReasonTheSystemAndTheFolder) {
  const struct {
    SaveRefusal refusal;
    int administrators_folders;  // Windows Vista to 11, whatever version they report
    int protected_folder;
    SaveAdvice advice;
  } rows[] = {
      {{kErrorDiskFull, 0, 1, 0, 0}, 1, 1, kAdviceDiskFull},
      {{kErrorDiskFull, 1, 1, 0, 0}, 0, 0, kAdviceDiskFull},      // full comes first
      {{kErrorAccessDenied, 1, 0, 0, 0}, 1, 1, kAdviceReadOnly},  // read-only, even on Vista and on
      {{kErrorAccessDenied, 1, 0, 0, 0}, 0, 0, kAdviceReadOnly},
      {{kErrorAccessDenied, 0, 0, 0, 0}, 1, 1, kAdviceAdministrator},
      // Outside Program Files and the like (a read-only share, Controlled folder access),
      // running as administrator is no remedy.
      {{kErrorAccessDenied, 0, 0, 0, 0}, 1, 0, kAdviceGeneral},
      // No administrators-only folders before Vista.
      {{kErrorAccessDenied, 0, 0, 0, 0}, 0, 1, kAdviceGeneral},
      // A folder in the file's place is no matter for an administrator.
      {{kErrorAccessDenied, 0, 0, 1, 0}, 1, 1, kAdviceGeneral},
      {{32, 0, 0, 0, 0}, 1, 1, kAdviceGeneral},  // sharing violation: another program holds it
      {{0, 0, 0, 0, 0}, 1, 1, kAdviceGeneral},   // a write failed with no reason known
      // A disc: its files are read-only and it reports no room, yet neither remedy helps;
      // nor does an administrator, under Program Files on a disc image.
      {{kErrorAccessDenied, 1, 0, 0, 1}, 1, 1, kAdviceDisc},
      {{kErrorDiskFull, 0, 1, 0, 1}, 0, 0, kAdviceDisc},
      {{kErrorWriteProtect, 0, 0, 0, 1}, 0, 0, kAdviceDisc},
      // A write-protected floppy disk or memory card, wherever it is.
      {{kErrorWriteProtect, 0, 0, 0, 0}, 1, 1, kAdviceDisc},
      {{kErrorWriteProtect, 1, 0, 0, 0}, 0, 0, kAdviceDisc},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "error " << row.refusal.error << ", on disc "
                                    << row.refusal.on_disc << ", administrators' folders "
                                    << row.administrators_folders << ", protected "
                                    << row.protected_folder);
    EXPECT_EQ(ChooseSaveAdvice(row.refusal, row.administrators_folders, row.protected_folder),
              row.advice);
  }
}

TEST(DriveRootOf, NamesTheDriveOrShare) {
  const LeadByteRanges japanese = {{0x81, 0x9F, 0xE0, 0xFC}};
  const struct {
    const char* path;
    const LeadByteRanges* lead;
    int found;
    const char* root;
  } rows[] = {
      {"C:\\GAMES\\X\\", &kSingleByteCodePage, 1, "C:\\"},
      {"d:\\", &kSingleByteCodePage, 1, "d:\\"},
      {"\\\\server\\share\\games\\", &kSingleByteCodePage, 1, "\\\\server\\share\\"},
      {"\\\\server\\share\\", &kSingleByteCodePage, 1, "\\\\server\\share\\"},
      // 表 is 95 5C: its second byte is no separator.
      {"\\\\server\\\x95\x5C\\x\\", &japanese, 1, "\\\\server\\\x95\x5C\\"},
      {"\\\\server\\", &kSingleByteCodePage, 0, ""},
      {"\\\\\\share\\", &kSingleByteCodePage, 0, ""},
      {".\\", &kSingleByteCodePage, 0, ""},
      {"", &kSingleByteCodePage, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    char root[64] = "junk";
    EXPECT_EQ(DriveRootOf(row.path, *row.lead, root, sizeof root), row.found);
    EXPECT_EQ(std::string(root), row.root);
  }
  char small[3];
  EXPECT_EQ(DriveRootOf("C:\\x\\", kSingleByteCodePage, small, sizeof small), 0);  // cut: not used
}

}  // namespace
