// SetupHomeDirectory under a real module path: the settings file lands beside the program
// and the program's folder becomes current, whatever folder it was started from.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "test_support.h"

namespace {

std::string ProbeValue(const std::string& ini, const char* key) {
  char value[512];
  GetPrivateProfileStringA("Options", key, "<missing>", value, sizeof value, ini.c_str());
  return value;
}

// Copies the probe program into `folder` and runs it from `started_in`, or from a scratch
// working folder when that is empty.
void ExpectSettingsBesideProgramIn(const std::string& folder, std::string started_in = "") {
  const bool scratch = started_in.empty();
  if (scratch) started_in = hvtest::MakeScratchFolder("cwd");
  const std::string exe = folder + "probe.exe";
  ASSERT_TRUE(CopyFileA((hvtest::FolderOfThisProgram() + HV_HOME_PROBE_EXE).c_str(),
                        exe.c_str(), FALSE))
      << exe;
  EXPECT_EQ(hvtest::RunProgram(exe, "/x", started_in), 0);

  const std::string ini = folder + "halvern.ini";
  EXPECT_TRUE(hvtest::FileExists(ini));
  EXPECT_EQ(ProbeValue(ini, "Home"), folder);
  // The current folder is the program's, without its trailing backslash.
  EXPECT_EQ(ProbeValue(ini, "Current"), folder.substr(0, folder.size() - 1));
  EXPECT_FALSE(hvtest::FileExists(started_in + "halvern.ini"));
  if (scratch) hvtest::RemoveTree(started_in);
}

TEST(SetupHomeDirectory, FindsTheFolderOfTheRunningProgram) {
  const std::string folder = hvtest::MakeScratchFolder("home");
  ExpectSettingsBesideProgramIn(folder);
  hvtest::RemoveTree(folder);
}

TEST(SetupHomeDirectory, SelectsTheProgramsDriveBeforeItsFolder) {
  // The folder carries no drive letter: started from another drive, it would be looked for
  // there unless the program's own drive is selected first.
  const std::string folder = hvtest::MakeScratchFolder("drive");
  const std::string started_in = hvtest::FolderOfThisProgram();
  ASSERT_NE(std::toupper(static_cast<unsigned char>(folder[0])),
            std::toupper(static_cast<unsigned char>(started_in[0])))
      << "the test needs the program and its start folder on two drives: " << folder << ", "
      << started_in;
  ExpectSettingsBesideProgramIn(folder, started_in);
  hvtest::RemoveTree(folder);
}

TEST(SetupHomeDirectory, KeepsTheWholeFolderOfALongPath) {
  // Far past 131 characters, still within MAX_PATH with the program's name.
  const std::string base = hvtest::MakeScratchFolder("long");
  std::string folder = base;
  while (folder.size() < 200) {
    folder += "nested-folder-name\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  }
  ASSERT_LT(folder.size() + sizeof "probe.exe", static_cast<std::size_t>(MAX_PATH));
  ExpectSettingsBesideProgramIn(folder);
  // Nothing may be written into a parent folder instead.
  EXPECT_FALSE(hvtest::FileExists(base + "halvern.ini"));
  hvtest::RemoveTree(base);
}

}  // namespace
