// ReadSetting and WriteSetting against the platform's real initialisation-file functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "shell/bounded_text.h"
#include "shell/home_directory.h"
#include "test_support.h"

namespace {

using hvtest::ReadWholeFile;
using hvtest::SplitLines;
using hvtest::WriteWholeFile;

class SettingsFile : public hvtest::ScratchHomeTest {
 protected:
  SettingsFile() : ScratchHomeTest("settings") {}

  std::string Read(const char* key, const char* fallback) {
    char value[kSettingValueCapacity];
    ReadSetting(kOptionsSection, key, fallback, value);
    return value;
  }
};

TEST_F(SettingsFile, MissingFileReadsAsEveryDefault) {
  for (const ToggleBinding& b : kToggleBindings) {
    SCOPED_TRACE(b.key);
    EXPECT_EQ(Read(b.key, b.fallback), b.fallback);
  }
  EXPECT_EQ(Read(kKeySocket, ""), "");
  EXPECT_EQ(Read(kKeyDestNet, ""), "");
  EXPECT_FALSE(hvtest::FileExists(ini_));  // reading never creates the file
}

TEST_F(SettingsFile, ALongValueReadsAsItsFirst255Characters) {
  std::string value;
  for (int i = 0; i < 300; ++i) value += static_cast<char>('0' + i % 10);
  ASSERT_TRUE(WriteWholeFile(ini_, "[Options]\r\nSocket=" + value + "\r\n"));
  EXPECT_EQ(Read(kKeySocket, ""), value.substr(0, 255));
}

TEST_F(SettingsFile, AnEmptyValueIsWrittenAsAnEmptyKeyAndReadBackEmpty) {
  ASSERT_TRUE(WriteWholeFile(ini_, "[Options]\r\nSocket=213\r\n"));
  EXPECT_EQ(WriteSetting(kOptionsSection, kKeySocket, ""), 1);
  EXPECT_EQ(Read(kKeySocket, "missing"), "");
  const std::vector<std::string> lines = SplitLines(ReadWholeFile(ini_));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Socket="), lines.end());
}

TEST_F(SettingsFile, WritingKeepsOtherSectionsAndOtherKeys) {
  ASSERT_TRUE(WriteWholeFile(ini_,
                             "[Player]\r\nName=Ann\r\n"
                             "[Options]\r\nResolution=0\r\nMusicVolume=7\r\n"
                             "[Network]\r\nModem=COM2\r\n"));
  EXPECT_EQ(WriteSetting(kOptionsSection, kKeyResolution, "1"), 1);
  EXPECT_EQ(WriteSetting(kOptionsSection, kKeyDestNet, "73.0F.2C.8A"), 1);

  const std::vector<std::string> lines = SplitLines(ReadWholeFile(ini_));
  for (const char* kept : {"[Player]", "Name=Ann", "MusicVolume=7", "[Network]", "Modem=COM2",
                           "Resolution=1", "DestNet=73.0F.2C.8A"}) {
    SCOPED_TRACE(kept);
    EXPECT_NE(std::find(lines.begin(), lines.end(), kept), lines.end());
  }
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "Resolution=0"), lines.end());
}

TEST_F(SettingsFile, SavingIntoAMissingFileWritesTheKeysInTheirFixedOrder) {
  for (const ToggleBinding& b : kToggleBindings) {
    if (b.saved) EXPECT_EQ(WriteSetting(b.section, b.key, ToggleValueForState(b, 0)), 1);
  }
  for (const TextBinding& t : kTextBindings) EXPECT_EQ(WriteSetting(t.section, t.key, ""), 1);

  EXPECT_EQ(SplitLines(ReadWholeFile(ini_)), hvtest::kSavedDefaults);
}

TEST_F(SettingsFile, AWriteThatCannotBeMadeIsReported) {
  ASSERT_EQ(CopyText(HomePrefix, sizeof HomePrefix, (folder_ + "no such folder\\").c_str()), 1);
  EXPECT_EQ(WriteSetting(kOptionsSection, kKeySocket, "1"), 0);
}

}  // namespace
