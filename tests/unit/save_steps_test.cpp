// The order of a save's steps through a stand-in for the platform, and each way back to
// writing in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "settings/save_check.h"
#include "settings/save_steps.h"

namespace {

// Records each step as "name" or "name to copy" / "name to file", and answers with the
// errors queued for it, one a call (0 once they run out).
struct StandIn {
  std::vector<std::string> log;
  std::map<std::string, std::deque<unsigned long>> answers;
};

unsigned long Step(void* context, SaveStep step, int to_copy) {
  StandIn& s = *static_cast<StandIn*>(context);
  const char* names[] = {"make copy",   "write keys", "flush to disk", "check file",
                         "replace",     "remove copy", "pause",        "clear left copy"};
  std::string name = names[step];
  if (step == kWriteKeys || step == kFlushToDisk) name += to_copy ? " to copy" : " to file";
  s.log.push_back(name);
  std::deque<unsigned long>& queue = s.answers[name];
  if (queue.empty()) return 0;
  const unsigned long answer = queue.front();
  queue.pop_front();
  return answer;
}

using Log = std::vector<std::string>;
const Log kThroughCopy = {"make copy", "write keys to copy", "flush to disk to copy",
                          "check file", "replace"};
const Log kInPlace = {"remove copy", "write keys to file", "flush to disk to file"};

Log Then(Log first, const Log& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Log Times(int count, const Log& steps) {
  Log all;
  for (int i = 0; i < count; ++i) all = Then(all, steps);
  return all;
}

std::deque<unsigned long> Repeat(int count, unsigned long error) {
  return std::deque<unsigned long>(static_cast<std::size_t>(count), error);
}

TEST(RunSave, GoesThroughACopyOrWritesInPlace) {
  const unsigned long kHeld = kErrorSharingViolation;
  // A copy in the way for the whole wait: kMakeCopy refused, a pause after each but the last.
  const Log kWaited = Then(Times(kCopyWaits - 1, {"make copy", "pause"}), {"make copy"});
  const struct {
    const char* name;
    int through_copy;
    std::map<std::string, std::deque<unsigned long>> answers;
    Log steps;
    int saved;
    unsigned long error;
  } rows[] = {
      {"NT: copy, keys, flush, check, rename", 1, {}, kThroughCopy, 1, 0},
      {"95, 98, Me, Win32s: in place, flushed", 0, {}, kInPlace, 1, 0},
      // The copy cannot be made: no right to create a file, no room, a linked file.
      {"no copy", 1, {{"make copy", {5}}}, Then({"make copy"}, kInPlace), 1, 0},
      {"a key fails in the copy", 1, {{"write keys to copy", {1}}},
       Then({"make copy", "write keys to copy"}, kInPlace), 1, 0},
      // Never renamed into place unflushed.
      {"the copy's flush fails", 1, {{"flush to disk to copy", {29}}},
       Then({"make copy", "write keys to copy", "flush to disk to copy"}, kInPlace), 1, 0},
      // Checked again before each try: the holder may write before it lets go.
      {"held open for a moment", 1, {{"replace", {kHeld, kErrorAccessDenied}}},
       Then(kThroughCopy, {"pause", "check file", "replace", "pause", "check file", "replace"}),
       1, 0},
      {"another rename error", 1, {{"replace", {87}}}, Then(kThroughCopy, kInPlace), 1, 0},
      // Another program wrote the file after it was copied: copied again, then renamed.
      {"changed before the rename", 1, {{"check file", {kErrorFileChanged}}},
       Then({"make copy", "write keys to copy", "flush to disk to copy", "check file",
             "remove copy"},
            kThroughCopy),
       1, 0},
      {"held, then changed, then let go", 1,
       {{"replace", {kHeld}}, {"check file", {0, kErrorFileChanged}}},
       Then(Then(kThroughCopy, {"pause", "check file", "remove copy"}), kThroughCopy), 1, 0},
      // A file that appeared since the copy (of no file) was made is never replaced.
      {"a file appeared at the rename", 1, {{"replace", {kErrorFileChanged}}},
       Then(Then(kThroughCopy, {"remove copy"}), kThroughCopy), 1, 0},
      {"changed at every look: in place", 1, {{"check file", Repeat(kSaveRounds, kErrorFileChanged)}},
       Then(Then(Times(kSaveRounds - 1, Then(Log(kThroughCopy.begin(), kThroughCopy.end() - 1),
                                             {"remove copy"})),
                 Log(kThroughCopy.begin(), kThroughCopy.end() - 1)),
            kInPlace),
       1, 0},
      // Another save's copy in the way, which it then renames over the file: waited for.
      {"another save's copy", 1, {{"make copy", {kErrorFileExists, kErrorFileExists}}},
       Then({"make copy", "pause", "make copy", "pause"}, kThroughCopy), 1, 0},
      // One that stays as it was for the whole wait was left by an interrupted save.
      {"a copy left over", 1, {{"make copy", Repeat(kCopyWaits, kErrorFileExists)}},
       Then(Then(kWaited, {"clear left copy"}), kThroughCopy), 1, 0},
      {"another save's copy, changing all the time: in place", 1,
       {{"make copy", Repeat(kCopyTries, kErrorFileExists)},
        {"clear left copy", {kErrorCopyInUse, kErrorCopyInUse}}},
       Then(Times(2, Then(kWaited, {"clear left copy", "pause"})), Then(kWaited, kInPlace)), 1,
       0},
      // The only whole copy of the settings could not take the file's name: nothing is
      // written, so that it is not taken for left over by the next save.
      {"the only whole copy stays", 1,
       {{"make copy", Repeat(kCopyWaits, kErrorFileExists)}, {"clear left copy", {kErrorOnlyCopy}}},
       Then(kWaited, {"clear left copy", "remove copy"}), 0, 0},
      // In place, values the platform does not read back are a failed save with no reason
      // known; a write or a flush that fails gives its reason.
      {"in place, not read back", 0, {{"write keys to file", {kErrorNotReadBack}}},
       {"remove copy", "write keys to file"}, 0, 0},
      {"in place, the write fails", 0, {{"write keys to file", {112}}},
       {"remove copy", "write keys to file"}, 0, 112},
      {"in place, the flush fails", 0, {{"flush to disk to file", {33}}}, kInPlace, 0, 33},
      {"both ways fail", 1, {{"make copy", {5}}, {"write keys to file", {kErrorNotReadBack}}},
       Then({"make copy"}, {"remove copy", "write keys to file"}), 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StandIn stand_in;
    stand_in.answers = row.answers;
    unsigned long error = 12345;
    EXPECT_EQ(RunSave(Step, &stand_in, row.through_copy, &error), row.saved);
    EXPECT_EQ(stand_in.log, row.steps);
    EXPECT_EQ(error, row.error);
  }
}

TEST(RunSave, GivesUpOnAFileHeldOpenAfterABoundedTimeAndWritesInPlace) {
  StandIn stand_in;
  stand_in.answers["replace"] = Repeat(kReplaceTries + 5, kErrorSharingViolation);
  unsigned long error = 0;
  EXPECT_EQ(RunSave(Step, &stand_in, 1, &error), 1);
  const Log expected = Then(kThroughCopy, Times(kReplaceTries - 1, {"pause", "check file", "replace"}));
  EXPECT_EQ(stand_in.log, Then(expected, kInPlace));
  // An open refused by a moment's hold is tried again for as long; one refused for good at once.
  const struct {
    unsigned long error;
    int tries, again;
  } opens[] = {
      {kErrorSharingViolation, 1, 1},
      {kErrorSharingViolation, kReplaceTries - 1, 1},
      {kErrorSharingViolation, kReplaceTries, 0},
      {kErrorAccessDenied, 1, 0},  // read-only, or no rights
      {2, 1, 0},                   // no such file
  };
  for (const auto& row : opens) {
    EXPECT_EQ(OpensAgain(row.error, row.tries), row.again)
        << "error " << row.error << " at try " << row.tries;
  }
  // A moment, not a hang, also for a copy in the way.
  EXPECT_LE(kReplaceTries * kReplacePauseMilliseconds, 2000u);
  EXPECT_LE(kCopyTries * kReplacePauseMilliseconds, 6000u);
}

// --- Two saves and another program on one disk ------------------------------------------------

// A folder as the save's steps see it: files by name, each its lines, an identity for its
// life, and a version that every write moves on (its size and last-write time).
struct File {
  std::vector<std::string> lines;
  int index;
  int version;
};

struct Disk {
  std::map<std::string, File> files;
  int next_index = 1;
  int held_until_pause = 0;  // another program holds halvern.ini until this pause of save 1
  std::mutex mutex;
  std::condition_variable turn_taken;
  std::vector<int> schedule;  // which save takes each step; after it, they take turns
  std::size_t next_turn = 0;
  bool done[2] = {false, true};  // a save that has ended takes no more turns
  std::function<void(SaveStep)> before_step;  // another program's doings
};

// One save's view: the steps as the platform carries them out.
struct Save {
  Disk* disk;
  int number;                 // 1 or 2
  std::string socket;         // the value it saves
  bool copied_exists = false;
  int copied_index = 0, copied_version = 0;
  int own_index = 0;          // 0: no copy of its own
  int seen_index = 0, seen_version = -1;
  int pauses = 0;
};

const char kIni[] = "halvern.ini";
const char kTmp[] = "hvsetup.tmp";

unsigned long ModelStep(void* context, SaveStep step, int to_copy) {
  Save& save = *static_cast<Save*>(context);
  Disk& disk = *save.disk;
  std::unique_lock<std::mutex> lock(disk.mutex);
  // One step at a time, in the order of the schedule, then in turn: every run is the same.
  disk.turn_taken.wait(lock, [&] {
    const std::size_t n = disk.next_turn;
    const int who = n < disk.schedule.size() ? disk.schedule[n] : 1 + static_cast<int>(n % 2);
    return who == save.number || disk.done[who - 1];
  });
  ++disk.next_turn;
  if (disk.before_step) disk.before_step(step);
  disk.turn_taken.notify_all();
  auto& files = disk.files;
  const bool ini = files.count(kIni) > 0, tmp = files.count(kTmp) > 0;
  switch (step) {
    case kMakeCopy:
      if (tmp) {
        if (save.seen_version < 0) {
          save.seen_index = files[kTmp].index;
          save.seen_version = files[kTmp].version;
        }
        return kErrorFileExists;
      }
      files[kTmp] = {ini ? files[kIni].lines : std::vector<std::string>(), disk.next_index++, 0};
      save.copied_exists = ini;
      save.copied_index = ini ? files[kIni].index : 0;
      save.copied_version = ini ? files[kIni].version : 0;
      save.own_index = files[kTmp].index;
      return 0;
    case kWriteKeys: {
      const std::string name = to_copy ? kTmp : kIni;
      // The profile call makes a missing file.
      if (!files.count(name)) files[name] = {{}, disk.next_index++, 0};
      File& file = files[name];
      auto& lines = file.lines;
      lines.erase(std::remove_if(lines.begin(), lines.end(),
                                 [](const std::string& l) { return l.rfind("Socket=", 0) == 0; }),
                  lines.end());
      lines.push_back("Socket=" + save.socket);
      ++file.version;
      return 0;
    }
    case kFlushToDisk:
      return files.count(to_copy ? kTmp : kIni) ? 0 : 2;
    case kCheckFile:
      if (ini != save.copied_exists ||
          (ini && (files[kIni].index != save.copied_index ||
                   files[kIni].version != save.copied_version)) ||
          !tmp || files[kTmp].index != save.own_index) {
        return kErrorFileChanged;
      }
      return 0;
    case kReplaceFile:
      if (disk.held_until_pause > 0) return kErrorSharingViolation;
      if (!tmp) return 2;
      if (!save.copied_exists && ini) return kErrorFileChanged;
      files[kIni] = files[kTmp];
      files.erase(kTmp);
      return 0;
    case kRemoveCopy:
      if (tmp && files[kTmp].index == save.own_index) files.erase(kTmp);
      return 0;
    case kPause:
      if (save.number == 1 && ++save.pauses == disk.held_until_pause) disk.held_until_pause = 0;
      return 0;
    case kClearLeftCopy:
      if (!tmp) return 0;
      if (files[kTmp].index != save.seen_index || files[kTmp].version != save.seen_version) {
        save.seen_index = files[kTmp].index;
        save.seen_version = files[kTmp].version;
        return kErrorCopyInUse;
      }
      save.seen_version = -1;
      if (!ini) files[kIni] = files[kTmp];
      files.erase(kTmp);
      return 0;
  }
  return 1;
}

const std::vector<std::string> kGame = {"[Game]", "Level=3", "[Options]", "Socket=5"};

bool Holds(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(RunSave, AnotherProgramWritingMeanwhileLosesNothing) {
  // It appends a line before any one step of the save (or after the save); or it holds the
  // file open, so that the rename is refused, and writes and lets go at a pause of the save.
  // Between the last look at the file and the rename itself no platform call can keep a
  // writer out, so none writes there.
  for (int at = 1; at <= 2 * kReplaceTries + 12; ++at) {
    for (const bool holds : {false, true}) {
      SCOPED_TRACE(testing::Message() << (holds ? "held, written and let go at pause "
                                                : "written before step ")
                                      << at);
      Disk disk;
      disk.files[kIni] = {kGame, disk.next_index++, 0};
      Save save{&disk, 1, "77"};
      if (holds) disk.held_until_pause = at;
      bool written = false;
      int steps = 0;
      auto write = [&] {
        if (written || !disk.files.count(kIni)) return;
        disk.files[kIni].lines.push_back("Mine=1");
        ++disk.files[kIni].version;
        written = true;
      };
      disk.before_step = [&](SaveStep step) {
        ++steps;
        if (step == kReplaceFile) return;
        if (holds ? disk.held_until_pause == 0 && save.pauses >= at : steps >= at) write();
      };
      unsigned long error = 0;
      EXPECT_EQ(RunSave(ModelStep, &save, 1, &error), 1);
      disk.before_step = nullptr;
      write();
      const std::vector<std::string>& lines = disk.files[kIni].lines;
      for (const std::string& line : {"[Game]", "Level=3", "Mine=1", "Socket=77"}) {
        EXPECT_TRUE(Holds(lines, line)) << line << " was lost";
      }
      EXPECT_EQ(disk.files.count(kTmp), 0u) << "a copy was left";
    }
  }
}

TEST(RunSave, TwoSavesAtOnceKeepEveryLine) {
  // Every way two saves' first eight steps can interleave (a save through a copy takes
  // five), into a file and into none.
  for (const bool file_there : {true, false}) {
    for (unsigned pattern = 0; pattern < 1u << 8; ++pattern) {
      Disk disk;
      if (file_there) disk.files[kIni] = {kGame, disk.next_index++, 0};
      for (int i = 0; i < 8; ++i) disk.schedule.push_back((pattern >> i & 1) ? 2 : 1);
      Save first{&disk, 1, "1"};
      Save second{&disk, 2, "2"};
      unsigned long error1 = 0, error2 = 0;
      int saved1 = 0, saved2 = 0;
      disk.done[1] = false;
      auto run = [&disk](Save* save, unsigned long* error, int* saved) {
        *saved = RunSave(ModelStep, save, 1, error);
        std::lock_guard<std::mutex> lock(disk.mutex);
        disk.done[save->number - 1] = true;
        disk.turn_taken.notify_all();
      };
      std::thread other(run, &second, &error2, &saved2);
      run(&first, &error1, &saved1);
      other.join();
      SCOPED_TRACE(testing::Message() << (file_there ? "into a file" : "into none")
                                      << ", schedule " << pattern);
      EXPECT_EQ(saved1, 1);
      EXPECT_EQ(saved2, 1);
      const std::vector<std::string>& lines = disk.files[kIni].lines;
      if (file_there) EXPECT_TRUE(Holds(lines, "Level=3")) << "the game's section was lost";
      EXPECT_TRUE(Holds(lines, "Socket=1") || Holds(lines, "Socket=2"));
      EXPECT_EQ(disk.files.count(kTmp), 0u) << "a copy was left";
    }
  }
}

TEST(RunSave, TheOnlyWholeCopyOfTheSettingsIsPutBackNotDestroyed) {
  // A power cut during a rename that is no single step left the copy and no file.
  Disk disk;
  disk.files[kTmp] = {kGame, disk.next_index++, 3};
  Save save{&disk, 1, "77"};
  unsigned long error = 0;
  EXPECT_EQ(RunSave(ModelStep, &save, 1, &error), 1);
  for (const std::string& line : {"[Game]", "Level=3", "Socket=77"}) {
    EXPECT_TRUE(Holds(disk.files[kIni].lines, line)) << line << " was lost";
  }
  EXPECT_EQ(disk.files.count(kTmp), 0u);
}

TEST(MayReplaceByRename, RefusesLinksAndReadOnlyFiles) {
  const struct {
    unsigned long attributes, links;
    int own_entry, may;
  } rows[] = {
      {0, 1, 1, 1},
      {kAttributeArchive | kAttributeHidden | kAttributeSystem, 1, 1, 1},
      {0x80, 1, 1, 1},  // FILE_ATTRIBUTE_NORMAL
      {0, 0, 1, 1},     // a file system that counts no links (FAT reports 1 or 0)
      {0, 2, 1, 0},     // a hard link with another name
      {kAttributeReparsePoint, 1, 1, 0},  // the name a symbolic link (Windows shows it)
      {0x20, 1, 0, 0},                   // the file another's than the folder's (Wine's link)
      {kAttributeReadOnly, 1, 1, 0},
      {kAttributeEncrypted | kAttributeArchive, 1, 1, 0},  // its copy would not be encrypted
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "attributes " << row.attributes << ", links " << row.links
                                    << ", own entry " << row.own_entry);
    EXPECT_EQ(MayReplaceByRename(row.attributes, row.links, row.own_entry), row.may);
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
