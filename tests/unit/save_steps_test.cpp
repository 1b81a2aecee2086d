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
  // The archive mark always: the content changed, whatever a backup last marked.
  EXPECT_EQ(KeptAttributes(0x27 | kAttributeReparsePoint | 0x80),
            kAttributeHidden | kAttributeSystem | kAttributeArchive);
  EXPECT_EQ(KeptAttributes(kAttributeHidden), kAttributeHidden | kAttributeArchive);
  EXPECT_EQ(KeptAttributes(0), kAttributeArchive);
}

// A self-relative security descriptor as GetFileSecurityA gives it: `control`, and unless
// `list` is false an access list at offset 20 with one entry (for Everyone) per flags byte.
std::vector<unsigned char> Descriptor(unsigned control, std::vector<unsigned char> flags,
                                      bool list = true) {
  auto put16 = [](std::vector<unsigned char>& v, std::size_t at, unsigned value) {
    v[at] = static_cast<unsigned char>(value & 0xFF);
    v[at + 1] = static_cast<unsigned char>(value >> 8);
  };
  std::vector<unsigned char> d(20, 0);
  d[0] = 1;
  put16(d, 2, control | 0x8000);  // SE_SELF_RELATIVE
  if (list) d[16] = 20;
  d.resize(28, 0);
  d[20] = 2;
  put16(d, 22, static_cast<unsigned>(8 + 20 * flags.size()));
  put16(d, 24, static_cast<unsigned>(flags.size()));
  for (unsigned char f : flags) {
    const unsigned char entry[20] = {0, f, 20, 0, 0xFF, 0x01, 0x1F, 0x00,  // all access
                                     1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};  // S-1-1-0
    d.insert(d.end(), entry, entry + sizeof entry);
  }
  return d;
}

TEST(HasOwnPermissions, FindsEntriesTheFolderDidNotHandDown) {
  const unsigned kPresent = 0x0004, kProtected = 0x1000;
  const unsigned char kInherited = 0x10, kInheritedToChildren = 0x13, kExplicit = 0x00;
  const struct {
    const char* name;
    std::vector<unsigned char> descriptor;
    std::size_t cut;  // bytes left off the end
    int own;
  } rows[] = {
      {"no access list (FAT)", Descriptor(0, {}), 0, 0},
      {"a null list: everyone may do everything", Descriptor(kPresent, {kExplicit}, false), 0, 0},
      {"only what the folder hands down", Descriptor(kPresent, {kInherited, kInheritedToChildren}),
       0, 0},
      {"an empty list", Descriptor(kPresent, {}), 0, 0},
      {"Users given Modify on the file alone", Descriptor(kPresent, {kInherited, kExplicit}), 0, 1},
      {"an entry of its own that its children would take", Descriptor(kPresent, {0x03}), 0, 1},
      {"inheritance turned off", Descriptor(kPresent | kProtected, {kInherited}), 0, 1},
      // Wine names each file's owner, group and others in entries of their own.
      {"Wine's", Descriptor(kPresent, {kExplicit, kExplicit, kExplicit}), 0, 1},
      // Never read past what the platform gave.
      {"the explicit entry cut off", Descriptor(kPresent, {kInherited, kExplicit}), 20, 0},
      {"shorter than its header", Descriptor(kPresent, {kExplicit}), 30, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(HasOwnPermissions(row.descriptor.data(), row.descriptor.size() - row.cut), row.own);
  }
  // An entry claiming no size ends the walk rather than looping on it.
  std::vector<unsigned char> broken = Descriptor(kPresent, {kInherited, kExplicit});
  broken[28 + 2] = 0;
  EXPECT_EQ(HasOwnPermissions(broken.data(), broken.size()), 0);
}

}  // namespace
