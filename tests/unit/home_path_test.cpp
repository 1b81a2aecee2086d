// Splitting the module path into the settings folder, the drive and the folder to make current.
#include <gtest/gtest.h>

#include <string>

#include "shell/home_path.h"

namespace {

struct PathRow {
  const char* path;
  int complete;
  const char* prefix;
  int drive;
  const char* directory;
};

TEST(PlanHomeDirectory, SplitsDriveAndFolder) {
  const PathRow rows[] = {
      {"C:\\GAMES\\X\\prog.exe", 1, "C:\\GAMES\\X\\", 3, "\\GAMES\\X"},
      {"c:\\games\\x\\prog.exe", 1, "c:\\games\\x\\", 3, "\\games\\x"},
      {"z:\\a\\b.exe", 1, "z:\\a\\", 26, "\\a"},
      {"D:\\prog.exe", 1, "D:\\", 4, ""},  // the root: no folder change, drive D stays as it was
      {"C:/GAMES/X/prog.exe", 1, "C:/GAMES/X/", 3, "/GAMES/X/"},
      {"C:\\GAMES/X\\prog.exe", 1, "C:\\GAMES/X\\", 3, "\\GAMES/X"},
      {"\\\\server\\share\\dir\\prog.exe", 1, "\\\\server\\share\\dir\\", 0,
       "\\\\server\\share\\dir"},
      // NT's long-path forms name the same folders as the plain ones.
      {"\\\\?\\C:\\GAMES\\X\\prog.exe", 1, "C:\\GAMES\\X\\", 3, "\\GAMES\\X"},
      {"\\\\?\\d:\\prog.exe", 1, "d:\\", 4, ""},
      {"\\\\?\\UNC\\server\\share\\dir\\prog.exe", 1, "\\\\server\\share\\dir\\", 0,
       "\\\\server\\share\\dir"},
      {"\\\\?\\unc\\server\\share\\prog.exe", 1, "\\\\server\\share\\", 0, "\\\\server\\share"},
      // Wine 8's name for a program started from a share: NT's "\??\UNC\" without "\??\".
      {"UNC\\server\\share\\dir\\prog.exe", 1, "\\\\server\\share\\dir\\", 0,
       "\\\\server\\share\\dir"},
      {"C:prog.exe", 1, "C:", 3, "."},  // drive-relative: the drive's own current folder
      {"C:\\A:B\\prog.exe", 1, "C:\\A:B\\", 3, "\\A:B"},  // a later colon is ordinary
      {"1:\\x\\prog.exe", 1, "1:\\x\\", 0, "\\x"},        // no such drive: none selected
      {"prog.exe", 1, ".\\", 0, ""},                      // no folder at all
      {"", 1, ".\\", 0, ""},
      {"C:\\GAMES\\X\\prog.exe", 0, ".\\", 0, ""},       // reported as cut short
  };
  for (const PathRow& row : rows) {
    SCOPED_TRACE(testing::Message() << '"' << row.path << "\" complete=" << row.complete);
    HomePlan plan;
    PlanHomeDirectory(row.path, row.complete, kSingleByteCodePage, &plan);
    EXPECT_STREQ(plan.prefix, row.prefix);
    EXPECT_EQ(plan.drive_number, row.drive);
    EXPECT_STREQ(plan.directory, row.directory);
  }
}

TEST(PlanHomeDirectory, LongPathsKeepTheirWholeFolderOrFallBack) {
  // A folder of 250 characters: far past the old 131-character limit, still under MAX_PATH.
  const std::string folder = "C:\\" + std::string(246, 'd') + "\\";
  const std::string path = folder + "hv.exe";
  ASSERT_EQ(path.size(), 256u);
  HomePlan plan;
  PlanHomeDirectory(path.c_str(), 1, kSingleByteCodePage, &plan);
  EXPECT_EQ(std::string(plan.prefix), folder);
  EXPECT_EQ(std::string(plan.directory), folder.substr(2, folder.size() - 3));

  // Longer than any module path Windows reports in full: never a guessed folder.
  const std::string too_long = "C:\\" + std::string(300, 'd') + "\\hv.exe";
  PlanHomeDirectory(too_long.c_str(), 1, kSingleByteCodePage, &plan);
  EXPECT_STREQ(plan.prefix, ".\\");
  EXPECT_EQ(plan.drive_number, 0);
  EXPECT_STREQ(plan.directory, "");

  const std::string exactly = "C:\\" + std::string(kModulePathCapacity - 5, 'd') + "\\";
  ASSERT_EQ(exactly.size(), kModulePathCapacity - 1);
  PlanHomeDirectory(exactly.c_str(), 1, kSingleByteCodePage, &plan);
  EXPECT_EQ(std::string(plan.prefix), exactly);
}

TEST(ChooseHomeSource, TrustsOnlyAWholePathThatLostNoCharacter) {
  struct Row {
    const char* ansi_path;
    int complete;
    WidePathCheck wide;
    int short_path_faithful;
    HomeSource expected;
  };
  const Row rows[] = {
      {"C:\\GAMES\\X\\hv.exe", 1, kWidePathFaithful, 0, kHomeFromModulePath},
      // Windows 95, Win32s: no wide form to compare with, and nothing looks lost.
      {"C:\\GAMES\\X\\hv.exe", 1, kWidePathUnknown, 0, kHomeFromModulePath},
      {"C:\\Spiele \xC4\xF6\xE9\\hv.exe", 1, kWidePathFaithful, 0, kHomeFromModulePath},
      // Characters the code page has no byte for come back as '?'.
      {"Z:\\tmp\\???? Halvern\\hv.exe", 1, kWidePathLossy, 1, kHomeFromShortPath},
      {"Z:\\tmp\\???? Halvern\\hv.exe", 1, kWidePathLossy, 0, kHomeFromCurrentFolder},
      // A look-alike letter instead (a Polish folder on a Western code page): no '?',
      // only the wide form tells.
      {"C:\\Gry\\Lodz\\hv.exe", 1, kWidePathLossy, 1, kHomeFromShortPath},
      {"C:\\Gry\\Lodz\\hv.exe", 1, kWidePathLossy, 0, kHomeFromCurrentFolder},
      // '?' is never part of a name, so it betrays a loss even with no wide form to ask.
      {"C:\\????\\hv.exe", 1, kWidePathUnknown, 0, kHomeFromCurrentFolder},
      // The '?' of NT's long-path forms is no loss; one after it still is.
      {"\\\\?\\C:\\GAMES\\X\\hv.exe", 1, kWidePathFaithful, 0, kHomeFromModulePath},
      {"\\\\?\\UNC\\server\\share\\hv.exe", 1, kWidePathUnknown, 0, kHomeFromModulePath},
      {"\\\\?\\C:\\????\\hv.exe", 1, kWidePathUnknown, 0, kHomeFromCurrentFolder},
      // A volume name is no folder this program can make current.
      {"\\\\?\\Volume{0b1e}\\hv.exe", 1, kWidePathUnknown, 0, kHomeFromCurrentFolder},
      // A path cut short is not trusted, whatever else is known about it: its short form
      // where there is one, else the current folder.
      {"C:\\GAMES\\X\\hv.exe", 0, kWidePathFaithful, 0, kHomeFromCurrentFolder},
      {"Z:\\????\\hv.exe", 0, kWidePathLossy, 1, kHomeFromShortPath},
      {"", 0, kWidePathLossy, 1, kHomeFromShortPath},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << '"' << row.ansi_path << "\" complete=" << row.complete
                                    << " wide=" << row.wide
                                    << " short=" << row.short_path_faithful);
    EXPECT_EQ(ChooseHomeSource(row.ansi_path, row.complete, row.wide, row.short_path_faithful,
                               kSingleByteCodePage),
              row.expected);
  }
}

// Lead-byte ranges as Windows reports them for the double-byte code pages.
constexpr LeadByteRanges kJapanese932 = {{0x81, 0x9F, 0xE0, 0xFC}};
constexpr LeadByteRanges kChinese936 = {{0x81, 0xFE}};  // 949 and 950 have the same range

TEST(PlanHomeDirectory, SplitsDoubleByteNamesAtWholeCharactersOnly) {
  struct Row {
    const char* what;
    const LeadByteRanges* lead;
    const char* path;
    const char* prefix;
    const char* directory;
  };
  // In these code pages the second byte of a character may be 0x5C, the backslash:
  // 932 \x95\x5C is 表 and \x83\x5C is ソ, 936 \x81\x5C is 乗, 950 \xA5\x5C is 功.
  const Row rows[] = {
      {"932, program named 表示設定", &kJapanese932,
       "C:\\Games\\\x95\x5C\x8E\xA6\x90\xDD\x92\xE8.exe", "C:\\Games\\", "\\Games"},
      {"932, program named 表示ソ, the last byte before .exe a 0x5C", &kJapanese932,
       "C:\\Games\\\x95\x5C\x8E\xA6\x83\x5C.exe", "C:\\Games\\", "\\Games"},
      {"932, folder ending in ソ next to the real separator", &kJapanese932,
       "C:\\\x83\x5C\\\x95\x5C.exe", "C:\\\x83\x5C\\", "\\\x83\x5C"},
      // Right before the walk by characters too: the real separator comes last.
      {"932, folder ending in ソ, program named in ASCII", &kJapanese932,
       "C:\\\x83\x5C\\hv.exe", "C:\\\x83\x5C\\", "\\\x83\x5C"},
      {"932, program in a root, named ソ", &kJapanese932, "D:\\\x83\x5C.exe", "D:\\", ""},
      {"932, a trail byte that is a letter or ':'-free punctuation", &kJapanese932,
       "C:\\\x83\x51\x81\x5B\x83\x80\\hv.exe", "C:\\\x83\x51\x81\x5B\x83\x80\\",
       "\\\x83\x51\x81\x5B\x83\x80"},
      {"936, program named 乗客", &kChinese936, "C:\\Youxi\\\x81\x5C\xBF\xCD.exe",
       "C:\\Youxi\\", "\\Youxi"},
      {"950, folder and program named with 功", &kChinese936,
       "C:\\\xB9\x43\xA5\x5C\\\xA5\x5C\xAF\xE0.exe", "C:\\\xB9\x43\xA5\x5C\\",
       "\\\xB9\x43\xA5\x5C"},
      {"949, second bytes are never a backslash", &kChinese936,
       "C:\\\xB0\xD4\xC0\xD3\\\xBC\xB3\xC1\xA4.exe", "C:\\\xB0\xD4\xC0\xD3\\",
       "\\\xB0\xD4\xC0\xD3"},
      {"no network share is split inside a character", &kChinese936,
       "\\\\srv\\\x81\x5C\\\x81\x5C.exe", "\\\\srv\\\x81\x5C\\", "\\\\srv\\\x81\x5C"},
      // A lead byte as the last byte (a damaged name) stands alone; nothing is read past it.
      {"lead byte at the very end", &kJapanese932, "C:\\x\\hv\x83", "C:\\x\\", "\\x"},
      // The same bytes in a single-byte code page are two characters each: the backslash
      // is a separator there, as Western Windows sees it.
      {"1252: \x95 and \\ are two characters", &kSingleByteCodePage,
       "C:\\Games\\\x95\x5C\x8E.exe", "C:\\Games\\\x95\\", "\\Games\\\x95"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HomePlan plan;
    PlanHomeDirectory(row.path, 1, *row.lead, &plan);
    EXPECT_STREQ(plan.prefix, row.prefix);
    EXPECT_STREQ(plan.directory, row.directory);
  }
}

TEST(PlanHomeDirectory, ADoubleBytePathAtTheCapacityKeepsItsWholeFolder) {
  // 259 bytes, the longest path Windows reports whole: a folder of 表 and a name of ソ,
  // both characters whose second byte is 0x5C.
  std::string folder = "C:\\";
  for (int i = 0; i < 122; ++i) folder += "\x95\x5C";
  folder += "\\";
  const std::string path = folder + "\x83\x5C\x83\x5C\x83\x5Cx.exe";
  ASSERT_EQ(path.size(), kModulePathCapacity - 1);
  HomePlan plan;
  PlanHomeDirectory(path.c_str(), 1, kJapanese932, &plan);
  EXPECT_EQ(std::string(plan.prefix), folder);
  EXPECT_EQ(plan.drive_number, 3);
  EXPECT_EQ(std::string(plan.directory), folder.substr(2, folder.size() - 3));
}

TEST(ChooseHomeSource, TrustsADoubleBytePathThatLostNothing) {
  // Second bytes are never '?' (none is below 0x40), so only a real loss shows one.
  EXPECT_EQ(ChooseHomeSource("C:\\\x95\x5C\\\x83\x5C.exe", 1, kWidePathFaithful, 0,
                             kJapanese932),
            kHomeFromModulePath);
  EXPECT_EQ(ChooseHomeSource("C:\\\x95\x5C??\\\x83\x5C.exe", 1, kWidePathUnknown, 0,
                             kJapanese932),
            kHomeFromCurrentFolder);
}

}  // namespace
