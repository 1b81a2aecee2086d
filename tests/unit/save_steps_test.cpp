// The order of a save's steps through a stand-in for the platform, and each way back to
// writing in place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/save_check.h"
#include "settings/save_steps.h"

namespace {

// Records each step as "name" or "name copy", and answers with the error set for it.
struct StandIn {
  std::vector<std::string> log;
  unsigned long make_copy = 0;
  unsigned long write_copy = 0, write_file = 0;
  unsigned long flush_copy = 0, flush_file = 0;
  std::vector<unsigned long> replace;  // one answer per try; 0 once they run out
};

unsigned long Step(void* context, SaveStep step, int to_copy) {
  StandIn& s = *static_cast<StandIn*>(context);
  const char* names[] = {"make copy", "write keys", "flush to disk", "replace", "remove copy",
                         "pause"};
  std::string name = names[step];
  if (step == kWriteKeys || step == kFlushToDisk) name += to_copy ? " to copy" : " to file";
  s.log.push_back(name);
  switch (step) {
    case kMakeCopy:
      return s.make_copy;
    case kWriteKeys:
      return to_copy ? s.write_copy : s.write_file;
    case kFlushToDisk:
      return to_copy ? s.flush_copy : s.flush_file;
    case kReplaceFile: {
      if (s.replace.empty()) return 0;
      const unsigned long answer = s.replace.front();
      s.replace.erase(s.replace.begin());
      return answer;
    }
    default:
      return 0;
  }
}

using Log = std::vector<std::string>;
const Log kThroughCopy = {"make copy", "write keys to copy", "flush to disk to copy", "replace"};
const Log kInPlace = {"remove copy", "write keys to file", "flush to disk to file"};

Log Then(Log first, const Log& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST(RunSave, GoesThroughACopyOrWritesInPlace) {
  const unsigned long kHeld = kErrorSharingViolation;
  const struct {
    const char* name;
    int through_copy;
    StandIn answers;
    Log steps;
    int saved;
    unsigned long error;
  } rows[] = {
      {"NT: copy, keys, flush, rename", 1, {}, kThroughCopy, 1, 0},
      {"95, 98, Me, Win32s: in place, flushed", 0, {}, kInPlace, 1, 0},
      // The copy cannot be made: no right to create a file, no room, a linked file.
      {"no copy", 1, {{}, 5}, Then({"make copy"}, kInPlace), 1, 0},
      {"a key fails in the copy", 1, {{}, 0, 1},
       Then({"make copy", "write keys to copy"}, kInPlace), 1, 0},
      // Never renamed into place unflushed.
      {"the copy's flush fails", 1, {{}, 0, 0, 0, 29},
       Then({"make copy", "write keys to copy", "flush to disk to copy"}, kInPlace), 1, 0},
      {"held open for a moment", 1, {{}, 0, 0, 0, 0, 0, {kHeld, kErrorAccessDenied}},
       Then(kThroughCopy, {"pause", "replace", "pause", "replace"}), 1, 0},
      {"another rename error", 1, {{}, 0, 0, 0, 0, 0, {87}}, Then(kThroughCopy, kInPlace), 1,
       0},
      // In place, a key that fails is a failed save with no reason known; a flush that
      // fails gives its reason.
      {"in place, a key fails", 0, {{}, 0, 0, 1}, {"remove copy", "write keys to file"}, 0, 0},
      {"in place, the flush fails", 0, {{}, 0, 0, 0, 0, 33}, kInPlace, 0, 33},
      {"both ways fail", 1, {{}, 5, 0, 1}, Then({"make copy"}, {"remove copy", "write keys to file"}),
       0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StandIn stand_in = row.answers;
    unsigned long error = 12345;
    EXPECT_EQ(RunSave(Step, &stand_in, row.through_copy, &error), row.saved);
    EXPECT_EQ(stand_in.log, row.steps);
    EXPECT_EQ(error, row.error);
  }
}

TEST(RunSave, GivesUpOnAFileHeldOpenAfterABoundedTimeAndWritesInPlace) {
  StandIn stand_in;
  stand_in.replace.assign(kReplaceTries + 5, kErrorSharingViolation);
  unsigned long error = 0;
  EXPECT_EQ(RunSave(Step, &stand_in, 1, &error), 1);
  Log expected = {"make copy", "write keys to copy", "flush to disk to copy", "replace"};
  for (int i = 1; i < kReplaceTries; ++i) {
    expected.push_back("pause");
    expected.push_back("replace");
  }
  EXPECT_EQ(stand_in.log, Then(expected, kInPlace));
  EXPECT_LE(kReplaceTries * kReplacePauseMilliseconds, 2000u);  // a moment, not a hang
}

TEST(MayReplaceByRename, RefusesLinksAndReadOnlyFiles) {
  const struct {
    unsigned long attributes, links;
    int may;
  } rows[] = {
      {0, 1, 1},
      {kAttributeArchive | kAttributeHidden | kAttributeSystem, 1, 1},
      {0x80, 1, 1},  // FILE_ATTRIBUTE_NORMAL
      {0, 0, 1},     // a file system that counts no links (FAT reports 1 or 0)
      {0, 2, 0},     // a hard link with another name
      {kAttributeReparsePoint, 1, 0},  // a symbolic link to another file
      {kAttributeReadOnly, 1, 0},
      {kAttributeEncrypted | kAttributeArchive, 1, 0},  // its copy would not be encrypted
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "attributes " << row.attributes << ", links " << row.links);
    EXPECT_EQ(MayReplaceByRename(row.attributes, row.links), row.may);
  }
  EXPECT_EQ(KeptAttributes(0x27 | kAttributeReparsePoint | 0x80),
            kAttributeHidden | kAttributeSystem | kAttributeArchive);
}

}  // namespace
