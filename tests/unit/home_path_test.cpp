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
    PlanHomeDirectory(row.path, row.complete, &plan);
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
  PlanHomeDirectory(path.c_str(), 1, &plan);
  EXPECT_EQ(std::string(plan.prefix), folder);
  EXPECT_EQ(std::string(plan.directory), folder.substr(2, folder.size() - 3));

  // Longer than any module path Windows reports in full: never a guessed folder.
  const std::string too_long = "C:\\" + std::string(300, 'd') + "\\hv.exe";
  PlanHomeDirectory(too_long.c_str(), 1, &plan);
  EXPECT_STREQ(plan.prefix, ".\\");
  EXPECT_EQ(plan.drive_number, 0);
  EXPECT_STREQ(plan.directory, "");

  const std::string exactly = "C:\\" + std::string(kModulePathCapacity - 5, 'd') + "\\";
  ASSERT_EQ(exactly.size(), kModulePathCapacity - 1);
  PlanHomeDirectory(exactly.c_str(), 1, &plan);
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
      // A path cut short is not trusted, whatever else is known about it.
      {"C:\\GAMES\\X\\hv.exe", 0, kWidePathFaithful, 0, kHomeFromCurrentFolder},
      {"Z:\\????\\hv.exe", 0, kWidePathLossy, 1, kHomeFromCurrentFolder},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << '"' << row.ansi_path << "\" complete=" << row.complete
                                    << " wide=" << row.wide
                                    << " short=" << row.short_path_faithful);
    EXPECT_EQ(ChooseHomeSource(row.ansi_path, row.complete, row.wide, row.short_path_faithful),
              row.expected);
  }
}

}  // namespace
