// Folder containment and the VirtualStore folder, as tables of paths.
#include <gtest/gtest.h>

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
