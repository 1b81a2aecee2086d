// Folder containment and the VirtualStore folder, as tables of paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/folder_rules.h"

namespace {

const LeadByteRanges kJapanese = {{0x81, 0x9F, 0xE0, 0xFC}};

TEST(IsInsideFolder, ComparesWholeFoldersWithoutRegardToCase) {
  const struct {
    const char* path;
    const char* folder;
    const LeadByteRanges* lead;
    int inside;
  } rows[] = {
      {"C:\\Users\\Ann\\AppData\\Local\\Temp\\Temp1_hv.zip\\", "C:\\Users\\Ann\\AppData\\Local\\Temp\\",
       &kSingleByteCodePage, 1},
      {"C:\\Users\\Ann\\AppData\\Local\\Temp\\", "C:\\Users\\Ann\\AppData\\Local\\Temp",
       &kSingleByteCodePage, 1},  // the folder itself, with or without its backslash
      {"C:\\Users\\Ann\\AppData\\Local\\Temp", "C:\\Users\\Ann\\AppData\\Local\\Temp\\",
       &kSingleByteCodePage, 1},
      {"c:\\users\\ann\\appdata\\local\\temp\\x\\", "C:\\USERS\\ANN\\APPDATA\\LOCAL\\TEMP\\",
       &kSingleByteCodePage, 1},
      // Beside it, not in it.
      {"C:\\Users\\Ann\\AppData\\Local\\Temporary\\", "C:\\Users\\Ann\\AppData\\Local\\Temp\\",
       &kSingleByteCodePage, 0},
      {"C:\\Users\\Ann\\AppData\\Local\\", "C:\\Users\\Ann\\AppData\\Local\\Temp\\",
       &kSingleByteCodePage, 0},
      {"D:\\Users\\Ann\\AppData\\Local\\Temp\\", "C:\\Users\\Ann\\AppData\\Local\\Temp\\",
       &kSingleByteCodePage, 0},
      {"C:\\Program Files (x86)\\Halvern\\", "C:\\Program Files\\", &kSingleByteCodePage, 0},
      {"C:\\Program Files\\Halvern\\", "C:\\Program Files", &kSingleByteCodePage, 1},
      {"C:\\anything\\", "", &kSingleByteCodePage, 0},
      // Under each folder Windows keeps for administrators, and beside it, in both cases.
      {"C:\\Program Files (x86)\\Halvern\\", "C:\\Program Files (x86)", &kSingleByteCodePage, 1},
      {"c:\\program files (x86)\\halvern\\", "C:\\Program Files (x86)", &kSingleByteCodePage, 1},
      {"C:\\Program Files (x86) Games\\", "C:\\Program Files (x86)", &kSingleByteCodePage, 0},
      {"C:\\PROGRAMDATA\\Halvern\\", "C:\\ProgramData", &kSingleByteCodePage, 1},
      {"C:\\ProgramData2\\Halvern\\", "C:\\ProgramData", &kSingleByteCodePage, 0},
      {"C:\\windows\\Halvern\\", "C:\\WINDOWS", &kSingleByteCodePage, 1},
      {"C:\\Windows.old\\Halvern\\", "C:\\Windows", &kSingleByteCodePage, 0},
      // 表 is 95 5C: its second byte is no separator, and no letter to fold.
      {"C:\\\x95\x5C\\x\\", "C:\\\x95\x5C\\", &kJapanese, 1},
      {"C:\\\x95\x5C\\x\\", "C:\\\x95", &kJapanese, 0},
      {"C:\\\x95\x7C\\", "C:\\\x95\x5C", &kJapanese, 0},
      {"C:\\\x83\x61\\", "C:\\\x83\x41\\", &kJapanese, 0},  // a second byte 'a' is not an 'A'
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.path << " in " << row.folder);
    EXPECT_EQ(IsInsideFolder(row.path, row.folder, *row.lead), row.inside);
  }
}

// The final paths of a file opened as halvern.ini and of its folder, as the system resolves
// them: the folder's own entry, or a file a symbolic link leads to.
TEST(IsEntryOfFolder, TellsTheFoldersOwnEntryFromALinkedFile) {
  const struct {
    const char* file;
    const char* folder;
    int entry;
  } rows[] = {
      {"\\\\?\\C:\\Games\\X\\halvern.ini", "\\\\?\\C:\\Games\\X", 1},
      {"\\\\?\\C:\\Games\\X\\HALVERN.INI", "\\\\?\\c:\\games\\x", 1},
      {"\\\\?\\C:\\halvern.ini", "\\\\?\\C:\\", 1},  // a drive's root ends in its backslash
      {"\\\\?\\C:\\Keep\\halvern.ini", "\\\\?\\C:\\Games\\X", 0},  // a link to a file elsewhere
      {"\\\\?\\C:\\Games\\X\\dos.ini", "\\\\?\\C:\\Games\\X", 0},    // of another name
      {"\\\\?\\C:\\Games\\X\\Old\\halvern.ini", "\\\\?\\C:\\Games\\X", 0},
      {"\\\\?\\C:\\Games\\X2\\halvern.ini", "\\\\?\\C:\\Games\\X", 0},
      {"\\\\?\\C:\\Games", "\\\\?\\C:\\Games\\X", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.file << " of " << row.folder);
    EXPECT_EQ(IsEntryOfFolder(row.file, row.folder, "halvern.ini", kSingleByteCodePage), row.entry);
  }
  // 表 is 95 5C: its second byte ends no folder.
  EXPECT_EQ(IsEntryOfFolder("C:\\\x95\x5Chalvern.ini", "C:\\\x95", "halvern.ini", kJapanese), 0);
}

// Stands in for GetLongPathNameA: names every path `long_answer`, or fails where that is null
// or the path is `long_missing`, which names no folder.
const char* long_answer = nullptr;
const char* long_missing = "";
std::string long_asked;  // the first path asked for

unsigned long HV_WINAPI StandInLongPath(const char* path, char* out, unsigned long capacity) {
  if (long_asked.empty()) long_asked = path;
  if (long_answer == nullptr || std::strcmp(path, long_missing) == 0) return 0;
  const std::size_t length = std::strlen(long_answer);
  if (length >= capacity) return static_cast<unsigned long>(length + 1);
  std::memcpy(out, long_answer, length + 1);
  return static_cast<unsigned long>(length);
}

TEST(LongFormOf, TakesTheLongFormWhereThePlatformGivesOneThatFitsAndIsSpelt) {
  const char* kShort = "C:\\PROGRA~2\\HALVERN\\";
  const char* kLong = "C:\\Program Files (x86)\\Halvern\\";
  const struct {
    const char* answer;  // null: the call fails
    bool has_call;       // Windows 95 and NT 4 have none
    std::size_t capacity;
    const LeadByteRanges* lead;
    const char* form;
  } rows[] = {
      {kLong, true, 260, &kSingleByteCodePage, kLong},
      {nullptr, true, 260, &kSingleByteCodePage, kShort},
      {kLong, false, 260, &kSingleByteCodePage, kShort},
      {kLong, true, 30, &kSingleByteCodePage, kShort},  // does not fit: never cut
      // A name the code page cannot spell: the short form is the one that names the folder.
      {"C:\\Program Files (x86)\\\xc8\xe3\xf0\xfb\\", true, 260, &kSingleByteCodePage,
       "C:\\Program Files (x86)\\\xc8\xe3\xf0\xfb\\"},
      {"C:\\Program Files (x86)\\????\\", true, 260, &kSingleByteCodePage, kShort},
      // A look-alike spelling ("Aoe" for "\xc4\xf6\xe9" in a code page without them) names
      // no folder: the short form does.
      {"C:\\Program Files (x86)\\Aoe\\", true, 260, &kSingleByteCodePage, kShort},
      // 表 is 95 5C: its second byte is neither a separator nor a '?'.
      {"C:\\\x95\x5C\\", true, 260, &kJapanese, "C:\\\x95\x5C\\"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << (row.answer != nullptr ? row.answer : "(fails)")
                                    << ", capacity " << row.capacity);
    long_answer = row.answer;
    long_missing = "C:\\Program Files (x86)\\Aoe\\";
    long_asked.clear();
    char form[260] = "junk";
    LongFormOf(kShort, row.has_call ? StandInLongPath : nullptr, *row.lead, form, row.capacity);
    EXPECT_EQ(std::string(form), row.form);
    EXPECT_EQ(long_asked, row.has_call ? kShort : "");
  }

  // Taken before the rules compare or form paths: the short form meets neither the folders
  // Windows keeps for administrators nor the copy's folder, which both have long names.
  long_answer = kLong;
  char form[260];
  LongFormOf(kShort, StandInLongPath, kSingleByteCodePage, form, sizeof form);
  EXPECT_EQ(IsInsideFolder(kShort, "C:\\Program Files (x86)", kSingleByteCodePage), 0);
  EXPECT_EQ(IsInsideFolder(form, "C:\\Program Files (x86)", kSingleByteCodePage), 1);
  char store[260];
  ASSERT_EQ(VirtualStoreFolder(form, "C:\\Users\\Ann\\AppData\\Local", "C:\\Windows",
                               "halvern.ini", kSingleByteCodePage, store, sizeof store),
            1);
  EXPECT_STREQ(store, "C:\\Users\\Ann\\AppData\\Local\\VirtualStore\\Program Files (x86)\\Halvern\\");
}

TEST(InTemporaryFolder, OnlyBelowATemporaryFolderThatIsNeitherARootNorTheCurrentOne) {
  const char* kTemp = "C:\\Users\\Ann\\AppData\\Local\\Temp\\";
  const char* kZip = "C:\\Users\\Ann\\AppData\\Local\\Temp\\Temp1_hv.zip\\";
  // The program makes its own folder current before it asks.
  const char* kZipCurrent = "C:\\Users\\Ann\\AppData\\Local\\Temp\\Temp1_hv.zip";
  const struct {
    const char* folder;
    const char* temp;
    const char* current;
    const LeadByteRanges* lead;
    int inside;
  } rows[] = {
      {kZip, kTemp, kZipCurrent, &kSingleByteCodePage, 1},
      {"c:\\users\\ann\\appdata\\local\\temp\\x\\", "C:\\USERS\\ANN\\APPDATA\\LOCAL\\TEMP\\",
       "", &kSingleByteCodePage, 1},
      {kTemp, kTemp, "C:\\Users\\Ann\\AppData\\Local\\Temp", &kSingleByteCodePage, 0},  // itself
      {"C:\\Users\\Ann\\AppData\\Local\\Temporary\\x\\", kTemp, "", &kSingleByteCodePage, 0},
      // TEMP=C:\ (an old DOS habit): every folder of C: would lie in it.
      {"C:\\Games\\Halvern\\", "C:\\", "C:\\Games\\Halvern", &kSingleByteCodePage, 0},
      {"c:\\Games\\Halvern\\", "C:", "", &kSingleByteCodePage, 0},
      {"\\\\server\\games\\Halvern\\", "\\\\server\\games\\", "", &kSingleByteCodePage, 0},
      // Windows 95 and NT 4 without TMP and TEMP name the current folder.
      {"C:\\Games\\Halvern\\", "C:\\Games\\", "C:\\Games", &kSingleByteCodePage, 0},
      {"C:\\Games\\Halvern\\", "C:\\Games\\", "C:\\Games\\Halvern", &kSingleByteCodePage, 1},
      // 表 is 95 5C: the temporary folder ends with its second byte, no separator.
      {"C:\\\x95\x5C\\Temp1\\", "C:\\\x95\x5C\\", "", &kJapanese, 1},
      {"C:\\\x95\x5C\\", "C:\\\x95", "", &kJapanese, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.folder << " in " << row.temp << ", current "
                                    << row.current);
    EXPECT_EQ(InTemporaryFolder(row.folder, row.temp, row.current, *row.lead), row.inside);
  }
}

TEST(VirtualStoreFolder, MirrorsTheFolderUnderTheUsersAppDataOrNamesNone) {
  const char* kLocal = "C:\\Users\\Ann\\AppData\\Local";
  const std::string kStore = std::string(kLocal) + "\\VirtualStore";
  const struct {
    const char* home;
    const char* local;
    const char* windows;
    const LeadByteRanges* lead;
    std::string folder;  // empty: no copy
  } rows[] = {
      {"C:\\Program Files (x86)\\Halvern\\", kLocal, "C:\\Windows", &kSingleByteCodePage,
       kStore + "\\Program Files (x86)\\Halvern\\"},
      {"c:\\Program Files\\Halvern\\", "C:\\Users\\Ann\\AppData\\Local\\", "C:\\WINDOWS",
       &kSingleByteCodePage, kStore + "\\Program Files\\Halvern\\"},  // either letter case
      {"C:\\", kLocal, "C:\\Windows", &kSingleByteCodePage, kStore + "\\"},  // a drive's root
      {"D:\\Games\\Halvern\\", kLocal, "C:\\Windows", &kSingleByteCodePage, ""},
      {"\\\\server\\share\\Halvern\\", kLocal, "C:\\Windows", &kSingleByteCodePage, ""},
      {"\\\\?\\UNC\\server\\share\\Halvern\\", kLocal, "C:\\Windows", &kSingleByteCodePage, ""},
      {"\\\\?\\C:\\Games\\", kLocal, "C:\\Windows", &kSingleByteCodePage, ""},
      {".\\", kLocal, "C:\\Windows", &kSingleByteCodePage, ""},
      {"C:\\Games\\", "", "C:\\Windows", &kSingleByteCodePage, ""},  // no LOCALAPPDATA
      {"C:\\Games\\", "%LOCALAPPDATA%", "C:\\Windows", &kSingleByteCodePage, ""},
      // A user name the code page cannot spell.
      {"C:\\Games\\", "C:\\Users\\?????\\AppData\\Local", "C:\\Windows", &kSingleByteCodePage,
       ""},
      // 表 is 95 5C in the user's name and in the game's folder.
      {"C:\\\x95\x5C\\", "C:\\Users\\\x95\x5C\\AppData\\Local", "C:\\Windows", &kJapanese,
       "C:\\Users\\\x95\x5C\\AppData\\Local\\VirtualStore\\\x95\x5C\\"},
      {"C:\\Games\\", "C:\\Users\\\x95\x5C", "C:\\Windows", &kJapanese,
       "C:\\Users\\\x95\x5C\\VirtualStore\\Games\\"},  // its last byte is no separator
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.home << " with " << row.local);
    char folder[260] = "junk";
    EXPECT_EQ(VirtualStoreFolder(row.home, row.local, row.windows, "halvern.ini", *row.lead,
                                 folder, sizeof folder),
              row.folder.empty() ? 0 : 1);
    EXPECT_EQ(std::string(folder), row.folder);
  }

  // The settings file's whole path must fit MAX_PATH (260), terminator included: the copy's
  // folder is the 39 characters of kStore, then the folder without its drive.
  for (const std::size_t name : {200, 207, 208, 240}) {
    const std::string home = "C:\\" + std::string(name, 'y') + "\\";
    char folder[260];
    const int fits = kStore.size() + (home.size() - 2) + sizeof "halvern.ini" <= sizeof folder;
    SCOPED_TRACE(testing::Message() << "a folder name of " << name);
    EXPECT_EQ(fits, name <= 207);
    EXPECT_EQ(VirtualStoreFolder(home.c_str(), kLocal, "C:\\Windows", "halvern.ini",
                                 kSingleByteCodePage, folder, sizeof folder),
              fits);
  }
  char small[8];
  EXPECT_EQ(VirtualStoreFolder("C:\\Games\\", kLocal, "C:\\Windows", "halvern.ini",
                               kSingleByteCodePage, small, sizeof small),
            0);
  EXPECT_STREQ(small, "");
}

}  // namespace
